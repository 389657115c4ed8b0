// SPDX-License-Identifier: MIT
#include "VMMetadata.h"

void VMMetadata::normalize()
{
    schemaVersion = currentSchemaVersion;
    diskSizeBytes = hardwareProfile.diskSizeBytes;
    memorySizeBytes = hardwareProfile.memorySizeBytes;
    cpuCount = hardwareProfile.cpuCount;
    hasSavedState = savedState.has_value();
    sharedFolderCount = qMax<qint64>(sharedFolderCount, 0);
    if (!networkConfiguration)
        networkConfiguration = VMNetworkConfiguration{VMNetworkConfiguration::Mode::nat, std::nullopt, std::nullopt};
    if (!mediaConfiguration)
        mediaConfiguration = VMMediaConfiguration{.isMicrophoneEnabled = false, .isSpeakerEnabled = true};
}

void to_json(Json &json, const VMMetadata &metadata)
{
    JSONObjectWriter writer;
    writer.set("schemaVersion", metadata.schemaVersion);
    writer.set("id", metadata.id);
    writer.set("guestOSType", metadata.guestOSType);
    writer.set("name", metadata.name);
    writer.set("bundleName", metadata.bundleName);
    writer.set("createdAt", metadata.createdAt);
    writer.set("updatedAt", metadata.updatedAt);
    writer.set("guestOSDisplayName", metadata.guestOSDisplayName);
    writer.set("guestBuildVersion", metadata.guestBuildVersion);
    writer.set("diskSizeBytes", metadata.diskSizeBytes);
    writer.set("memorySizeBytes", metadata.memorySizeBytes);
    writer.set("cpuCount", metadata.cpuCount);
    writer.set("runtimeState", metadata.runtimeState);
    writer.set("installState", metadata.installState);
    writer.set("hasSavedState", metadata.hasSavedState);
    writer.set("sharedFolderCount", metadata.sharedFolderCount);
    writer.set("firstBootEnabled", metadata.firstBootEnabled);
    writer.set("hardwareProfile", metadata.hardwareProfile);
    writer.set("networkConfiguration", metadata.networkConfiguration);
    writer.set("mediaConfiguration", metadata.mediaConfiguration);
    writer.set("installSource", metadata.installSource);
    writer.set("installSourceSummary", metadata.installSourceSummary);
    writer.set("restoreImageInfo", metadata.restoreImageInfo);
    writer.set("colorTag", metadata.colorTag);
    writer.set("savedState", metadata.savedState);
    json = writer.take();
}

void from_json(const Json &json, VMMetadata &metadata)
{
    const JSONObjectReader reader(json);
    metadata.schemaVersion = reader.required<qint64>("schemaVersion");
    metadata.id = reader.required<QUuid>("id");
    metadata.guestOSType = reader.optional<VMGuestOSType>("guestOSType");
    metadata.name = reader.required<QString>("name");
    metadata.bundleName = reader.required<QString>("bundleName");
    metadata.createdAt = reader.required<QDateTime>("createdAt");
    metadata.updatedAt = reader.required<QDateTime>("updatedAt");
    metadata.guestOSDisplayName = reader.optional<QString>("guestOSDisplayName");
    metadata.guestBuildVersion = reader.optional<QString>("guestBuildVersion");
    metadata.diskSizeBytes = reader.required<quint64>("diskSizeBytes");
    metadata.memorySizeBytes = reader.required<quint64>("memorySizeBytes");
    metadata.cpuCount = reader.required<qint64>("cpuCount");
    metadata.runtimeState = reader.required<VMRuntimeState>("runtimeState");
    metadata.installState = reader.required<VMInstallState>("installState");
    metadata.hasSavedState = reader.required<bool>("hasSavedState");
    metadata.sharedFolderCount = reader.required<qint64>("sharedFolderCount");
    metadata.firstBootEnabled = reader.required<bool>("firstBootEnabled");
    metadata.hardwareProfile = reader.required<VMHardwareProfile>("hardwareProfile");
    metadata.networkConfiguration = reader.optional<VMNetworkConfiguration>("networkConfiguration");
    metadata.mediaConfiguration = reader.optional<VMMediaConfiguration>("mediaConfiguration");
    metadata.installSource = reader.required<VMInstallSource>("installSource");
    metadata.installSourceSummary = reader.optional<QString>("installSourceSummary");
    metadata.restoreImageInfo = reader.optional<RestoreImageInfo>("restoreImageInfo");
    metadata.colorTag = reader.optional<VMColorTag>("colorTag");
    metadata.savedState = reader.optional<VMSavedState>("savedState");
}
