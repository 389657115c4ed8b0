// SPDX-License-Identifier: MIT
#include "VMCIRunResult.h"

#include "DisplayFormatters.h"
#include "QtPrinters.h"
#include "RecordTestSupport.h"

#include <QTimeZone>

using namespace RecordTestSupport;

namespace {

VMCIRunResult startedRun()
{
    VMCIRunResult result;
    result.id = QUuid::createUuid();
    result.configurationID = QUuid::createUuid();
    result.bundleID = QUuid::createUuid();
    result.status = VMCIRunStatus::running;
    result.startedAt = QDateTime(QDate(2026, 5, 6), QTime(7, 8, 9), QTimeZone::utc());
    return result;
}

} // namespace

TEST(VMCIRunResultTest, AnUnfinishedRunWritesOnlyItsFiveKeys)
{
    const VMCIRunResult result = startedRun();
    const Json json = JSONCodec<VMCIRunResult>::encode(result);
    std::string keys;
    for (const auto &item : json.items())
        keys += item.key() + ' ';
    EXPECT_EQ(keys, "bundleID configurationID id startedAt status ");
    EXPECT_EQ(roundTripped(result), result);
}

TEST(VMCIRunResultTest, AFinishedRunRoundTrips)
{
    VMCIRunResult result = startedRun();
    result.status = VMCIRunStatus::completed;
    result.completedAt = result.startedAt.addSecs(65);
    result.exitCode = -1;
    result.outputPath = QStringLiteral("/tmp/out.log");
    result.errorMessage = QString();
    result.durationSeconds = 65.25;
    EXPECT_EQ(roundTripped(result), result);

    VMCIRunResult other = result;
    other.errorMessage.reset();
    EXPECT_NE(other, result);
}

TEST(VMCIRunResultTest, DecodingNeedsTheFirstFiveKeysAndAKnownStatus)
{
    const Json complete = JSONCodec<VMCIRunResult>::encode(startedRun());
    for (const char *key : {"bundleID", "configurationID", "id", "startedAt", "status"}) {
        Json json = complete;
        json.erase(key);
        expectDecodingFails<VMCIRunResult>(json.dump(), JSONDecodingError::Kind::keyNotFound);
    }
    for (const char *status : {"timedout", "TimedOut", ""}) {
        Json json = complete;
        json["status"] = status;
        expectDecodingFails<VMCIRunResult>(json.dump(), JSONDecodingError::Kind::dataCorrupted);
    }
    Json json = complete;
    json["status"] = "timedOut";
    json["unknown"] = true;
    EXPECT_EQ(decoded<VMCIRunResult>(json.dump()).status, VMCIRunStatus::timedOut);
}

TEST(VMCIRunResultTest, RowTexts)
{
    VMCIRunResult result = startedRun();
    EXPECT_EQ(result.durationText(), std::nullopt);
    EXPECT_EQ(result.exitCodeText(), std::nullopt);
    EXPECT_EQ(result.exitCodeColor(), std::nullopt);

    result.status = VMCIRunStatus::completed;
    EXPECT_EQ(result.statusSymbolName(), QStringLiteral("xmark.circle.fill"));
    result.exitCode = 3;
    EXPECT_EQ(result.statusSymbolName(), QStringLiteral("xmark.circle.fill"));
    EXPECT_EQ(result.exitCodeText(), QStringLiteral("Exit: 3"));
    EXPECT_EQ(result.exitCodeColor(), VMCIRunColor::red);
    EXPECT_EQ(symbolColor(result.status), VMCIRunColor::green);
    result.exitCode = 0;
    EXPECT_EQ(result.statusSymbolName(), QStringLiteral("checkmark.circle.fill"));
    EXPECT_EQ(result.exitCodeColor(), VMCIRunColor::green);

    result.durationSeconds = -4;
    EXPECT_EQ(result.durationText(), DisplayFormatters::durationText(0));
    result.durationSeconds = 65;
    EXPECT_EQ(result.durationText(), DisplayFormatters::durationText(65));
}
