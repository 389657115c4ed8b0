// SPDX-License-Identifier: MIT
#include "VMMacOSUpdateInfo.h"

#include "DisplayFormatters.h"

namespace {

bool offersNewerVersion(const VMMacOSUpdateInfo &info)
{
    if (!info.availableVersion)
        return false;
    // A display name reads "macOS 14.6.1" where the version reads "14.6.1": builds compare like with like.
    if (info.currentBuildVersion && info.availableBuildVersion)
        return *info.currentBuildVersion != *info.availableBuildVersion;
    return info.availableVersion != info.currentDisplayName;
}

} // namespace

QString VMMacOSUpdateInfo::headline(VMGuestOSType guest) const
{
    if (!offersNewerVersion(*this))
        return QStringLiteral("Up to Date");
    return guest == VMGuestOSType::linux ? QStringLiteral("Newer ISO Available") : QStringLiteral("Update Available");
}

QStringList VMMacOSUpdateInfo::detailLines() const
{
    QStringList lines;
    if (currentDisplayName)
        lines << QStringLiteral("Current: ") + *currentDisplayName;
    if (offersNewerVersion(*this)) {
        lines << QStringLiteral("Available: ") + *availableVersion;
        if (downloadSizeBytes)
            lines << QStringLiteral("Download size: ") + DisplayFormatters::byteCountText(*downloadSizeBytes);
    }
    return lines;
}

void to_json(Json &json, const VMMacOSUpdateInfo &info)
{
    JSONObjectWriter writer;
    writer.set("id", info.id);
    writer.set("currentBuildVersion", info.currentBuildVersion);
    writer.set("currentDisplayName", info.currentDisplayName);
    writer.set("availableVersion", info.availableVersion);
    writer.set("availableBuildVersion", info.availableBuildVersion);
    writer.set("downloadSizeBytes", info.downloadSizeBytes);
    writer.set("releaseDate", info.releaseDate);
    writer.set("isSecurityUpdate", info.isSecurityUpdate);
    writer.set("releaseNotesURL", info.releaseNotesURL);
    writer.set("detectedAt", info.detectedAt);
    json = writer.take();
}

void from_json(const Json &json, VMMacOSUpdateInfo &info)
{
    const JSONObjectReader reader(json);
    info.id = reader.required<QUuid>("id");
    info.currentBuildVersion = reader.optional<QString>("currentBuildVersion");
    info.currentDisplayName = reader.optional<QString>("currentDisplayName");
    info.availableVersion = reader.optional<QString>("availableVersion");
    info.availableBuildVersion = reader.optional<QString>("availableBuildVersion");
    info.downloadSizeBytes = reader.optional<quint64>("downloadSizeBytes");
    info.releaseDate = reader.optional<QDateTime>("releaseDate");
    info.isSecurityUpdate = reader.required<bool>("isSecurityUpdate");
    info.releaseNotesURL = reader.optional<QUrl>("releaseNotesURL");
    info.detectedAt = reader.required<QDateTime>("detectedAt");
}
