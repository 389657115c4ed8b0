// SPDX-License-Identifier: MIT
#include "LinuxDistribution.h"

#include "DisplayFormatters.h"
#include "QtPrinters.h"
#include "RecordTestSupport.h"

#include <QSet>

#include <limits>

using namespace RecordTestSupport;

namespace {

LinuxDistribution custom()
{
    LinuxDistribution distribution;
    distribution.id = QUuid(QStringLiteral("{6f1c2a4e-9b3d-4c5e-8f7a-0b1c2d3e4f5a}"));
    distribution.name = QStringLiteral("Arch Linux ARM");
    distribution.version = QStringLiteral("2025.01");
    distribution.architecture = QStringLiteral("aarch64");
    distribution.variant = LinuxDistroVariant::server;
    distribution.isCustom = true;
    return distribution;
}

} // namespace

TEST(LinuxDistributionTest, VariantRawValues)
{
    expectRawValues<LinuxDistroVariant>({{LinuxDistroVariant::server, "server"}, {LinuxDistroVariant::desktop, "desktop"}});
}

TEST(LinuxDistributionTest, CatalogHasTheDesktopRowsThenTheServerRows)
{
    const struct {
        const char *name;
        const char *version;
        const char *architecture;
        LinuxDistroVariant variant;
        const char *desktopEnvironment;
        quint64 size;
    } expected[] = {
        {"Ubuntu Desktop", "24.04.4 LTS", "arm64", LinuxDistroVariant::desktop, "GNOME", 3540299776ULL},
        {"Fedora Workstation", "42", "aarch64", LinuxDistroVariant::desktop, "GNOME", 2332952576ULL},
        {"openSUSE Tumbleweed", "Rolling", "aarch64", LinuxDistroVariant::desktop, "KDE / GNOME (select during install)", 4087625728ULL},
        {"openSUSE Leap", "15.6", "aarch64", LinuxDistroVariant::desktop, "KDE / GNOME (select during install)", 4671504384ULL},
        {"Ubuntu Server", "24.04.4 LTS", "arm64", LinuxDistroVariant::server, nullptr, 3059724288ULL},
        {"Fedora Server", "42", "aarch64", LinuxDistroVariant::server, nullptr, 2725707776ULL},
        {"Debian", "13.4", "arm64", LinuxDistroVariant::server, nullptr, 735358976ULL},
        {"Alpine Linux", "3.21", "aarch64", LinuxDistroVariant::server, nullptr, 79204352ULL},
    };
    const QList<LinuxDistribution> &catalog = LinuxDistribution::catalog();
    ASSERT_EQ(catalog.size(), 8);
    QSet<QUuid> ids;
    for (qsizetype index = 0; index < catalog.size(); ++index) {
        const LinuxDistribution &row = catalog[index];
        const auto &want = expected[index];
        EXPECT_EQ(row.name, QString::fromUtf8(want.name));
        EXPECT_EQ(row.version, QString::fromUtf8(want.version));
        EXPECT_EQ(row.architecture, QString::fromUtf8(want.architecture));
        EXPECT_EQ(row.variant, want.variant);
        EXPECT_EQ(row.desktopEnvironment, want.desktopEnvironment ? std::optional(QString::fromUtf8(want.desktopEnvironment)) : std::nullopt);
        EXPECT_EQ(row.estimatedSizeBytes, want.size);
        EXPECT_FALSE(row.isCustom);
        EXPECT_EQ(row.kernelURL, std::nullopt);
        EXPECT_EQ(row.initrdURL, std::nullopt);
        // The installer of the row's own release and architecture, over HTTPS.
        ASSERT_TRUE(row.isoURL) << want.name;
        EXPECT_EQ(row.isoURL->scheme(), QStringLiteral("https"));
        EXPECT_TRUE(row.isoURL->fileName().endsWith(QStringLiteral(".iso"))) << want.name;
        EXPECT_TRUE(row.isoURL->path().contains(row.architecture)) << want.name;
        EXPECT_FALSE(row.id.isNull());
        ids.insert(row.id);
    }
    EXPECT_EQ(ids.size(), 8);

    // The two lists are the catalog's halves, built once: asking again gives the very same rows.
    EXPECT_EQ(LinuxDistribution::desktopCatalog(), catalog.mid(0, 4));
    EXPECT_EQ(LinuxDistribution::serverCatalog(), catalog.mid(4));
    EXPECT_EQ(&LinuxDistribution::catalog(), &catalog);
}

TEST(LinuxDistributionTest, DetailSummaryListsEditionDesktopAndSize)
{
    const QString separator = QStringLiteral(" • ");
    const QList<LinuxDistribution> &catalog = LinuxDistribution::catalog();
    EXPECT_EQ(catalog[0].detailSummary(), QStringLiteral("Desktop (GUI) • GNOME • ~3.3 GB"));
    EXPECT_EQ(catalog[6].detailSummary(), QStringLiteral("Server (CLI) • ~701.3 MB"));

    LinuxDistribution row = catalog[1];
    row.estimatedSizeBytes.reset();
    EXPECT_EQ(row.detailSummary(), QStringLiteral("Desktop (GUI) • GNOME"));
    row.desktopEnvironment = QString();
    EXPECT_EQ(row.detailSummary(), QStringLiteral("Desktop (GUI)") + separator);
    row.desktopEnvironment.reset();
    EXPECT_EQ(row.detailSummary(), QStringLiteral("Desktop (GUI)"));

    // Beyond the formatter's range the size reads as its largest count.
    row.estimatedSizeBytes = std::numeric_limits<quint64>::max();
    EXPECT_EQ(row.detailSummary(), QStringLiteral("Desktop (GUI) • ~") + DisplayFormatters::byteCountText(std::numeric_limits<qint64>::max()));
}

TEST(LinuxDistributionTest, JSONLeavesOutAbsentFieldsAndRoundTrips)
{
    EXPECT_EQ(compactJSON(custom()), R"({"architecture":"aarch64","id":"6F1C2A4E-9B3D-4C5E-8F7A-0B1C2D3E4F5A","isCustom":true,)"
                                     R"("name":"Arch Linux ARM","variant":"server","version":"2025.01"})");
    LinuxDistribution full = custom();
    full.desktopEnvironment = QStringLiteral("Xfce");
    full.isoURL = QUrl(QStringLiteral("https://example.org/a.iso"));
    full.kernelURL = QUrl(QStringLiteral("https://example.org/Image"));
    full.initrdURL = QUrl(QStringLiteral("https://example.org/initrd"));
    full.estimatedSizeBytes = 18446744073709551615ULL;
    EXPECT_EQ(JSONCodec<LinuxDistribution>::encode(full).size(), 11u);
    EXPECT_EQ(roundTripped(full), full);
    for (const LinuxDistribution &row : LinuxDistribution::catalog())
        EXPECT_EQ(roundTripped(row), row);
}

TEST(LinuxDistributionTest, DecodingRequiresEveryNonOptionalKey)
{
    const Json valid = JSONCodec<LinuxDistribution>::encode(custom());
    for (const char *key : {"id", "name", "version", "architecture", "variant", "isCustom"}) {
        Json json = valid;
        json.erase(key);
        expectDecodingFails<LinuxDistribution>(json.dump(), JSONDecodingError::Kind::keyNotFound);
    }

    using ErrorKind = JSONDecodingError::Kind;
    const struct {
        const char *key;
        Json value;
        ErrorKind kind;
    } wrong[] = {
        {"variant", "Desktop", ErrorKind::dataCorrupted},
        {"isCustom", 1, ErrorKind::typeMismatch},
        {"estimatedSizeBytes", -1, ErrorKind::dataCorrupted},
    };
    for (const auto &row : wrong) {
        Json json = valid;
        json[row.key] = row.value;
        expectDecodingFails<LinuxDistribution>(json.dump(), row.kind);
    }
}

TEST(LinuxDistributionTest, EveryFieldTakesPartInEquality)
{
    LinuxDistribution other = custom();
    other.id = QUuid::createUuid();
    EXPECT_NE(other, custom());
    other = custom();
    other.desktopEnvironment = QString();
    EXPECT_NE(other, custom());
}
