// SPDX-License-Identifier: MIT
#include "VMMetadata.h"

#include "RecordTestSupport.h"

#include <QTimeZone>

using namespace RecordTestSupport;

namespace {

const char *const requiredKeys[] = {
    "schemaVersion", "id", "name", "bundleName", "createdAt", "updatedAt", "diskSizeBytes", "memorySizeBytes", "cpuCount",
    "runtimeState", "installState", "hasSavedState", "sharedFolderCount", "firstBootEnabled", "hardwareProfile", "installSource",
};

// A record as an older writer left it: version 1, no network or media settings.
Json storedRecord()
{
    return Json::parse(R"({
        "schemaVersion": 1,
        "id": "6F1C2A4E-0B7D-4C1E-9A55-3D2B1C0E9F88",
        "name": "Build Box",
        "bundleName": "Build Box.vm",
        "createdAt": "2024-01-02T03:04:05Z",
        "updatedAt": "2024-02-03T04:05:06Z",
        "diskSizeBytes": 1,
        "memorySizeBytes": 2,
        "cpuCount": 3,
        "runtimeState": "stopped",
        "installState": "installed",
        "hasSavedState": true,
        "sharedFolderCount": -3,
        "firstBootEnabled": false,
        "hardwareProfile": {"cpuCount": 4, "memorySizeBytes": 8589934592, "diskSizeBytes": 68719476736,
                            "displayWidth": 1920, "displayHeight": 1200, "displayPixelsPerInch": 80},
        "installSource": {"kind": "latestSupportedAutomatic"}
    })");
}

VMMetadata fullRecord()
{
    VMMetadata metadata = decoded<VMMetadata>(storedRecord().dump());
    metadata.guestOSType = VMGuestOSType::linux;
    metadata.guestOSDisplayName = QStringLiteral("Debian 12");
    metadata.guestBuildVersion = QStringLiteral("12.5");
    metadata.networkConfiguration = VMNetworkConfiguration{VMNetworkConfiguration::Mode::bridged, QStringLiteral("eth0"), std::nullopt};
    metadata.mediaConfiguration = VMMediaConfiguration{true, false};
    metadata.installSource = VMInstallSource::localRestoreImage(QUrl::fromLocalFile(QStringLiteral("/images/a.ipsw")));
    metadata.installSourceSummary = metadata.installSource.summary();
    metadata.restoreImageInfo = RestoreImageInfo{QStringLiteral("macOS 14"), QStringLiteral("14.0"), QStringLiteral("23A344"),
                                                 std::nullopt, std::nullopt, RestoreImageInfo::DownloadState::failed};
    metadata.colorTag = VMColorTag::purple;
    metadata.savedState = VMSavedState{QStringLiteral("SavedState/MachineState.bin"),
                                       QDateTime(QDate(2024, 2, 3), QTime(4, 5, 6), QTimeZone::utc()), 1024};
    return metadata;
}

} // namespace

TEST(VMMetadataTest, DecodesWithoutOptionalsAndAppliesNoDefaults)
{
    const VMMetadata metadata = decoded<VMMetadata>(storedRecord().dump());
    EXPECT_EQ(metadata.schemaVersion, 1);
    EXPECT_EQ(metadata.id, QUuid(QStringLiteral("6f1c2a4e-0b7d-4c1e-9a55-3d2b1c0e9f88")));
    EXPECT_EQ(metadata.cpuCount, 3);
    EXPECT_EQ(metadata.sharedFolderCount, -3);
    EXPECT_TRUE(metadata.hasSavedState);
    EXPECT_EQ(metadata.guestOSType, std::nullopt);
    EXPECT_EQ(metadata.networkConfiguration, std::nullopt);
    EXPECT_EQ(metadata.mediaConfiguration, std::nullopt);
    EXPECT_EQ(metadata.savedState, std::nullopt);

    Json written = JSONCodec<VMMetadata>::encode(metadata);
    EXPECT_EQ(written, storedRecord()) << "absent optionals are left out, present fields kept as read";
}

TEST(VMMetadataTest, EveryFieldSurvivesTheFile)
{
    const VMMetadata metadata = fullRecord();
    EXPECT_EQ(roundTripped(metadata), metadata);
    EXPECT_EQ(JSONCodec<VMMetadata>::encode(metadata).size(), 25u);
}

TEST(VMMetadataTest, EachRequiredKeyIsRequired)
{
    for (const char *key : requiredKeys) {
        Json json = storedRecord();
        json.erase(key);
        try {
            decoded<VMMetadata>(json.dump());
            ADD_FAILURE() << "decoded without " << key;
        } catch (const JSONDecodingError &error) {
            EXPECT_EQ(error.kind(), JSONDecodingError::Kind::keyNotFound) << key;
            EXPECT_NE(error.reason().find(key), std::string::npos) << error.what();
        }
    }
}

TEST(VMMetadataTest, ABadNestedValueFailsTheWholeRecord)
{
    const struct {
        const char *pointer;
        Json value;
    } cases[] = {
        {"/runtimeState", "Running"},
        {"/installState", "Installing"},
        {"/guestOSType", "Windows"},
        {"/colorTag", "Red"},
        {"/hardwareProfile/displayPixelsPerInch", nullptr}, // removed
        {"/mediaConfiguration", Json{{"isSpeakerEnabled", true}}},
        {"/networkConfiguration", Json{{"mode", "NAT"}}},
        {"/installSource", Json{{"kind", "localRestoreImage"}}},
        {"/cpuCount", 2.5},
        {"/hasSavedState", 1},
        {"/id", "not-a-uuid"},
    };
    for (const auto &row : cases) {
        Json json = storedRecord();
        const Json::json_pointer pointer(row.pointer);
        if (row.value.is_null())
            json.at(pointer.parent_pointer()).erase(pointer.back());
        else
            json[pointer] = row.value;
        EXPECT_THROW(decoded<VMMetadata>(json.dump()), JSONDecodingError) << row.pointer;
    }
}

TEST(VMMetadataTest, UnknownKeysAreIgnoredAndDropped)
{
    Json json = storedRecord();
    json["futureField"] = Json{{"anything", 1}};
    const VMMetadata metadata = decoded<VMMetadata>(json.dump());
    EXPECT_EQ(metadata, decoded<VMMetadata>(storedRecord().dump()));
    EXPECT_FALSE(JSONCodec<VMMetadata>::encode(metadata).contains("futureField"));
}

TEST(VMMetadataTest, NormalizeEstablishesTheInvariants)
{
    VMMetadata metadata = decoded<VMMetadata>(storedRecord().dump());
    metadata.normalize();
    EXPECT_EQ(metadata.schemaVersion, 2);
    EXPECT_EQ(metadata.diskSizeBytes, 68719476736ULL);
    EXPECT_EQ(metadata.memorySizeBytes, 8589934592ULL);
    EXPECT_EQ(metadata.cpuCount, 4);
    EXPECT_FALSE(metadata.hasSavedState) << "no saved state is recorded";
    EXPECT_EQ(metadata.sharedFolderCount, 0);
    EXPECT_EQ(metadata.networkConfiguration, (VMNetworkConfiguration{VMNetworkConfiguration::Mode::nat, std::nullopt, std::nullopt}));
    EXPECT_EQ(metadata.mediaConfiguration, (VMMediaConfiguration{false, true}));

    VMMetadata again = metadata;
    again.normalize();
    EXPECT_EQ(again, metadata);
}

TEST(VMMetadataTest, NormalizeKeepsWhatIsAlreadyValid)
{
    VMMetadata metadata = fullRecord();
    metadata.hasSavedState = false;
    metadata.sharedFolderCount = 5;
    const VMMetadata before = metadata;
    metadata.normalize();
    EXPECT_TRUE(metadata.hasSavedState) << "a recorded saved state wins";
    EXPECT_EQ(metadata.sharedFolderCount, 5);
    EXPECT_EQ(metadata.networkConfiguration, before.networkConfiguration);
    EXPECT_EQ(metadata.mediaConfiguration, before.mediaConfiguration);
    EXPECT_EQ(metadata.savedState, before.savedState);
    EXPECT_EQ(metadata.installSourceSummary, before.installSourceSummary);
}
