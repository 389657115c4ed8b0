// SPDX-License-Identifier: MIT
#include "LinuxDistribution.h"

#include "DisplayFormatters.h"

#include <QStringList>

namespace {

struct CatalogRow {
    const char *name;
    const char *version;
    const char *architecture;
    LinuxDistroVariant variant;
    const char *desktopEnvironment; // nullptr: none
    const char *isoURL;
    quint64 estimatedSizeBytes;
};

LinuxDistribution makeDistribution(const CatalogRow &row)
{
    LinuxDistribution distribution;
    distribution.id = QUuid::createUuid();
    distribution.name = QString::fromUtf8(row.name);
    distribution.version = QString::fromUtf8(row.version);
    distribution.architecture = QString::fromUtf8(row.architecture);
    distribution.variant = row.variant;
    if (row.desktopEnvironment)
        distribution.desktopEnvironment = QString::fromUtf8(row.desktopEnvironment);
    distribution.isoURL = QUrl(QString::fromUtf8(row.isoURL));
    distribution.estimatedSizeBytes = row.estimatedSizeBytes;
    distribution.isCustom = false;
    return distribution;
}

template <size_t N>
QList<LinuxDistribution> makeDistributions(const CatalogRow (&rows)[N])
{
    QList<LinuxDistribution> distributions;
    distributions.reserve(qsizetype(N));
    for (const CatalogRow &row : rows)
        distributions.append(makeDistribution(row));
    return distributions;
}

constexpr const char *selectDuringInstall = "KDE / GNOME (select during install)";

// Each row is the distribution's own download location of that release's arm64 installer.
constexpr CatalogRow desktopRows[] = {
    {"Ubuntu Desktop", "24.04.4 LTS", "arm64", LinuxDistroVariant::desktop, "GNOME",
     "https://cdimage.ubuntu.com/releases/24.04/release/ubuntu-24.04.4-desktop-arm64.iso", 3540299776ULL},
    {"Fedora Workstation", "42", "aarch64", LinuxDistroVariant::desktop, "GNOME",
     "https://download.fedoraproject.org/pub/fedora/linux/releases/42/Workstation/aarch64/iso/Fedora-Workstation-Live-42-1.1.aarch64.iso",
     2332952576ULL},
    // "Current" always names the newest snapshot of the rolling release.
    {"openSUSE Tumbleweed", "Rolling", "aarch64", LinuxDistroVariant::desktop, selectDuringInstall,
     "https://download.opensuse.org/ports/aarch64/tumbleweed/iso/openSUSE-Tumbleweed-DVD-aarch64-Current.iso", 4087625728ULL},
    {"openSUSE Leap", "15.6", "aarch64", LinuxDistroVariant::desktop, selectDuringInstall,
     "https://download.opensuse.org/distribution/leap/15.6/iso/openSUSE-Leap-15.6-DVD-aarch64-Media.iso", 4671504384ULL},
};

constexpr CatalogRow serverRows[] = {
    {"Ubuntu Server", "24.04.4 LTS", "arm64", LinuxDistroVariant::server, nullptr,
     "https://cdimage.ubuntu.com/releases/24.04/release/ubuntu-24.04.4-live-server-arm64.iso", 3059724288ULL},
    {"Fedora Server", "42", "aarch64", LinuxDistroVariant::server, nullptr,
     "https://download.fedoraproject.org/pub/fedora/linux/releases/42/Server/aarch64/iso/Fedora-Server-dvd-aarch64-42-1.1.iso", 2725707776ULL},
    {"Debian", "13.4", "arm64", LinuxDistroVariant::server, nullptr,
     "https://cdimage.debian.org/debian-cd/13.4.0/arm64/iso-cd/debian-13.4.0-arm64-netinst.iso", 735358976ULL},
    {"Alpine Linux", "3.21", "aarch64", LinuxDistroVariant::server, nullptr,
     "https://dl-cdn.alpinelinux.org/alpine/v3.21/releases/aarch64/alpine-virt-3.21.3-aarch64.iso", 79204352ULL},
};

} // namespace

QString LinuxDistribution::detailSummary() const
{
    QStringList items;
    items << (variant == LinuxDistroVariant::desktop ? QStringLiteral("Desktop (GUI)") : QStringLiteral("Server (CLI)"));
    if (desktopEnvironment)
        items << *desktopEnvironment;
    if (estimatedSizeBytes)
        items << QLatin1Char('~') + DisplayFormatters::byteCountText(*estimatedSizeBytes);
    return items.join(QStringLiteral(" • "));
}

// Function-local statics: each list is built once, also under concurrent first use, and never changed.
const QList<LinuxDistribution> &LinuxDistribution::desktopCatalog()
{
    static const QList<LinuxDistribution> distributions = makeDistributions(desktopRows);
    return distributions;
}

const QList<LinuxDistribution> &LinuxDistribution::serverCatalog()
{
    static const QList<LinuxDistribution> distributions = makeDistributions(serverRows);
    return distributions;
}

const QList<LinuxDistribution> &LinuxDistribution::catalog()
{
    static const QList<LinuxDistribution> distributions = [] {
        QList<LinuxDistribution> all = desktopCatalog();
        all.append(serverCatalog());
        return all;
    }();
    return distributions;
}

void to_json(Json &json, const LinuxDistribution &distribution)
{
    JSONObjectWriter writer;
    writer.set("id", distribution.id);
    writer.set("name", distribution.name);
    writer.set("version", distribution.version);
    writer.set("architecture", distribution.architecture);
    writer.set("variant", distribution.variant);
    writer.set("desktopEnvironment", distribution.desktopEnvironment);
    writer.set("isoURL", distribution.isoURL);
    writer.set("kernelURL", distribution.kernelURL);
    writer.set("initrdURL", distribution.initrdURL);
    writer.set("estimatedSizeBytes", distribution.estimatedSizeBytes);
    writer.set("isCustom", distribution.isCustom);
    json = writer.take();
}

void from_json(const Json &json, LinuxDistribution &distribution)
{
    const JSONObjectReader reader(json);
    distribution.id = reader.required<QUuid>("id");
    distribution.name = reader.required<QString>("name");
    distribution.version = reader.required<QString>("version");
    distribution.architecture = reader.required<QString>("architecture");
    distribution.variant = reader.required<LinuxDistroVariant>("variant");
    distribution.desktopEnvironment = reader.optional<QString>("desktopEnvironment");
    distribution.isoURL = reader.optional<QUrl>("isoURL");
    distribution.kernelURL = reader.optional<QUrl>("kernelURL");
    distribution.initrdURL = reader.optional<QUrl>("initrdURL");
    distribution.estimatedSizeBytes = reader.optional<quint64>("estimatedSizeBytes");
    distribution.isCustom = reader.required<bool>("isCustom");
}
