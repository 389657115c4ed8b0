// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"
#include "RestoreImageInfo.h"
#include "VMColorTag.h"
#include "VMGuestOSType.h"
#include "VMHardwareProfile.h"
#include "VMInstallSource.h"
#include "VMInstallState.h"
#include "VMMediaConfiguration.h"
#include "VMNetworkConfiguration.h"
#include "VMRuntimeState.h"
#include "VMSavedState.h"

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

/**
 * Everything the library knows about one VM without opening another file,
 * stored as Metadata.json at the root of its bundle. Changes are made on a
 * copy that the library store writes back.
 *
 * Decoding applies no defaults and does not check the schema version;
 * normalize() establishes the invariants before every write and after every
 * load: schema version 2, the top-level disk, memory and CPU figures copied
 * from the hardware profile, hasSavedState mirroring savedState, a shared
 * folder count of at least 0, and network and media settings present.
 */
struct VMMetadata {
    /// The layout version this code writes.
    static constexpr qint64 currentSchemaVersion = 2;

    qint64 schemaVersion = currentSchemaVersion;
    QUuid id;
    /// Absent in bundles made before the field existed; treated as macOS where it matters.
    std::optional<VMGuestOSType> guestOSType;
    QString name;
    QString bundleName;
    QDateTime createdAt;
    QDateTime updatedAt;
    std::optional<QString> guestOSDisplayName;
    std::optional<QString> guestBuildVersion;
    quint64 diskSizeBytes = 0;
    quint64 memorySizeBytes = 0;
    qint64 cpuCount = 0;
    VMRuntimeState runtimeState = VMRuntimeState::stopped;
    VMInstallState installState = VMInstallState::notInstalled;
    bool hasSavedState = false;
    qint64 sharedFolderCount = 0;
    bool firstBootEnabled = false;
    VMHardwareProfile hardwareProfile;
    std::optional<VMNetworkConfiguration> networkConfiguration;
    std::optional<VMMediaConfiguration> mediaConfiguration;
    VMInstallSource installSource;
    std::optional<QString> installSourceSummary;
    std::optional<RestoreImageInfo> restoreImageInfo;
    std::optional<VMColorTag> colorTag;
    std::optional<VMSavedState> savedState;

    /// Establishes the invariants above in place; the hardware profile always wins over the top-level copies.
    void normalize();

    bool operator==(const VMMetadata &) const = default;
};

void to_json(Json &json, const VMMetadata &metadata);
void from_json(const Json &json, VMMetadata &metadata);
