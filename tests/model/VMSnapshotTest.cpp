// SPDX-License-Identifier: MIT
#include "VMSnapshot.h"

#include "RecordTestSupport.h"

#include <QTimeZone>

using namespace RecordTestSupport;

namespace {

VMSnapshot sampleSnapshot()
{
    return VMSnapshot{
        QUuid(QStringLiteral("6F1C2A4E-0B7D-4C1E-9A55-3D2B1C0E9F88")),
        QStringLiteral("Before upgrade"),
        QStringLiteral("clean install"),
        QDateTime(QDate(2024, 3, 1), QTime(10, 20, 30), QTimeZone::utc()),
        std::nullopt,
        68'719'476'736ULL,
        8'000'000'000ULL,
        4,
        std::nullopt,
        QString(),
        QStringLiteral("Snapshots/6F1C2A4E-0B7D-4C1E-9A55-3D2B1C0E9F88/Disk.img"),
        false,
    };
}

} // namespace

TEST(VMSnapshotTest, EncodesEveryFieldAndLeavesAbsentOptionalsOut)
{
    const VMSnapshot bare = sampleSnapshot();
    EXPECT_EQ(compactJSON(bare), R"({"cpuCount":4,"createdAt":"2024-03-01T10:20:30Z",)"
                                 R"("diskRelativePath":"Snapshots/6F1C2A4E-0B7D-4C1E-9A55-3D2B1C0E9F88/Disk.img",)"
                                 R"("diskSizeBytes":68719476736,"id":"6F1C2A4E-0B7D-4C1E-9A55-3D2B1C0E9F88","isAutoSnapshot":false,)"
                                 R"("memorySizeBytes":8000000000,"name":"Before upgrade","notes":"clean install","stateRelativePath":""})");
    EXPECT_EQ(roundTripped(bare), bare);

    VMSnapshot full = bare;
    full.parentSnapshotID = QUuid(QStringLiteral("0a1b2c3d-0000-4000-8000-00000000000f"));
    full.guestOSDisplayName = QStringLiteral("Debian 12");
    full.isAutoSnapshot = true;
    const std::string json = compactJSON(full);
    EXPECT_NE(json.find(R"("parentSnapshotID":"0A1B2C3D-0000-4000-8000-00000000000F")"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("guestOSDisplayName":"Debian 12")"), std::string::npos) << json;
    EXPECT_EQ(roundTripped(full), full);
}

TEST(VMSnapshotTest, EveryRequiredKeyMustBePresent)
{
    for (const char *key : {"id", "name", "notes", "createdAt", "diskSizeBytes", "memorySizeBytes", "cpuCount", "stateRelativePath",
                            "diskRelativePath", "isAutoSnapshot"}) {
        Json json = JSONCodec<VMSnapshot>::encode(sampleSnapshot());
        json.erase(key);
        expectDecodingFails<VMSnapshot>(json.dump(), JSONDecodingError::Kind::keyNotFound);
    }
}

TEST(VMSnapshotTest, HardwareSummaryListsCPUsMemoryAndDisk)
{
    const struct {
        qint64 cpuCount;
        const char *summary;
    } table[] = {
        {0, "0 CPUs \u2022 7.45 GB \u2022 64 GB"},
        {1, "1 CPU \u2022 7.45 GB \u2022 64 GB"},
        {2, "2 CPUs \u2022 7.45 GB \u2022 64 GB"},
        {8, "8 CPUs \u2022 7.45 GB \u2022 64 GB"},
    };
    for (const auto &row : table) {
        VMSnapshot snapshot = sampleSnapshot();
        snapshot.cpuCount = row.cpuCount;
        EXPECT_EQ(snapshot.hardwareSummary(), QString::fromUtf8(row.summary));
    }
}
