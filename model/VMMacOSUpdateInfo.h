// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"
#include "VMGuestOSType.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <optional>

/**
 * The outcome of one update check for one VM: what the guest runs now and
 * the newest release known. Only `id`, `isSecurityUpdate` and `detectedAt`
 * are always present; absent fields are left out of the JSON. Identified by
 * `id`.
 */
struct VMMacOSUpdateInfo {
    QUuid id;
    std::optional<QString> currentBuildVersion;
    /// The version text of the system the guest runs now, e.g. "14.5".
    std::optional<QString> currentDisplayName;
    std::optional<QString> availableVersion;
    std::optional<QString> availableBuildVersion;
    std::optional<quint64> downloadSizeBytes;
    std::optional<QDateTime> releaseDate;
    bool isSecurityUpdate = false;
    std::optional<QUrl> releaseNotesURL;
    QDateTime detectedAt;

    /**
     * "Up to Date" when no newer version is known or the guest already runs
     * it: the same build when both builds are known, else the same text (no
     * version parsing); otherwise "Newer ISO
     * Available" for a Linux guest and "Update Available" for any other.
     */
    QString headline(VMGuestOSType guest) const;

    /**
     * The lines shown beside the headline, in order: "Current: 14.5" when the
     * current version is known; "Available: 14.6" when a version is
     * available that differs from it, followed then by "Download size: …"
     * when the size is known.
     */
    QStringList detailLines() const;

    bool operator==(const VMMacOSUpdateInfo &) const = default;
};

void to_json(Json &json, const VMMacOSUpdateInfo &info);
void from_json(const Json &json, VMMacOSUpdateInfo &info);
