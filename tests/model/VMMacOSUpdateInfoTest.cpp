// SPDX-License-Identifier: MIT
#include "VMMacOSUpdateInfo.h"

#include "DisplayFormatters.h"
#include "QtPrinters.h"
#include "RecordTestSupport.h"

#include <QTimeZone>

using namespace RecordTestSupport;

namespace {

VMMacOSUpdateInfo bareInfo()
{
    VMMacOSUpdateInfo info;
    info.id = QUuid::createUuid();
    info.isSecurityUpdate = false;
    info.detectedAt = QDateTime(QDate(2026, 7, 8), QTime(9, 10, 11), QTimeZone::utc());
    return info;
}

std::optional<QString> text(const char *value)
{
    return value ? std::optional(QString::fromUtf8(value)) : std::nullopt;
}

} // namespace

TEST(VMMacOSUpdateInfoTest, ABareInfoWritesThreeKeys)
{
    const VMMacOSUpdateInfo info = bareInfo();
    const Json json = JSONCodec<VMMacOSUpdateInfo>::encode(info);
    std::string keys;
    for (const auto &item : json.items())
        keys += item.key() + ' ';
    EXPECT_EQ(keys, "detectedAt id isSecurityUpdate ");
    EXPECT_EQ(roundTripped(info), info);

    for (const char *key : {"detectedAt", "id", "isSecurityUpdate"}) {
        Json json = JSONCodec<VMMacOSUpdateInfo>::encode(info);
        json.erase(key);
        expectDecodingFails<VMMacOSUpdateInfo>(json.dump(), JSONDecodingError::Kind::keyNotFound);
    }
}

TEST(VMMacOSUpdateInfoTest, AFullInfoRoundTrips)
{
    VMMacOSUpdateInfo info = bareInfo();
    info.currentBuildVersion = QStringLiteral("23F79");
    info.currentDisplayName = QStringLiteral("14.5");
    info.availableVersion = QStringLiteral("14.6");
    info.availableBuildVersion = QStringLiteral("23G80");
    info.downloadSizeBytes = 18'446'744'073'709'551'615ULL;
    info.releaseDate = QDateTime(QDate(2026, 7, 1), QTime(0, 0), QTimeZone::utc());
    info.isSecurityUpdate = true;
    info.releaseNotesURL = QUrl(QStringLiteral("https://example.com/notes?a=1"));
    EXPECT_EQ(roundTripped(info), info);
}

TEST(VMMacOSUpdateInfoTest, HeadlineAndDetailLines)
{
    const QString size = QStringLiteral("Download size: ") + DisplayFormatters::byteCountText(qint64(1'500'000'000));
    const struct {
        const char *current;
        const char *available;
        VMGuestOSType guest;
        const char *headline;
        QStringList lines;
    } table[] = {
        {"14.5", "14.5", VMGuestOSType::macOS, "Up to Date", {QStringLiteral("Current: 14.5")}},
        {"14.5", "14.5.1", VMGuestOSType::macOS, "Update Available",
         {QStringLiteral("Current: 14.5"), QStringLiteral("Available: 14.5.1"), size}},
        {nullptr, "14.5", VMGuestOSType::macOS, "Update Available",
         {QStringLiteral("Available: 14.5"), size}},
        {"24.04", "24.10", VMGuestOSType::linux, "Newer ISO Available",
         {QStringLiteral("Current: 24.04"), QStringLiteral("Available: 24.10"), size}},
        {"14.5", nullptr, VMGuestOSType::macOS, "Up to Date", {QStringLiteral("Current: 14.5")}},
        {nullptr, nullptr, VMGuestOSType::linux, "Up to Date", {}},
        {"14.5", "14.5 ", VMGuestOSType::windows, "Update Available",
         {QStringLiteral("Current: 14.5"), QStringLiteral("Available: 14.5 "), size}},
    };
    for (const auto &row : table) {
        VMMacOSUpdateInfo info = bareInfo();
        info.currentDisplayName = text(row.current);
        info.availableVersion = text(row.available);
        info.downloadSizeBytes = 1'500'000'000;
        EXPECT_EQ(info.headline(row.guest), QString::fromUtf8(row.headline)) << row.current << " / " << row.available;
        EXPECT_EQ(info.detailLines(), row.lines) << row.current << " / " << row.available;
    }

    VMMacOSUpdateInfo withoutSize = bareInfo();
    withoutSize.availableVersion = QStringLiteral("15.0");
    EXPECT_EQ(withoutSize.detailLines(), QStringList{QStringLiteral("Available: 15.0")});
}
