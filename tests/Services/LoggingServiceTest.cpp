// SPDX-License-Identifier: MIT
#include "LoggingService.h"
#include "TemporaryHome.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

QString readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

const QRegularExpression linePattern(QStringLiteral(R"(^\[\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}\.\d{3}Z\] \[(.*)\] (.*)$)"));

} // namespace

TEST(LoggingServiceTest, LineFormatCarriesMillisecondsAndUtc)
{
    qputenv("TZ", "Pacific/Auckland");
    const QString line = LoggingService::formatLine(QStringLiteral("Loaded 2 VM bundle(s)"), QStringLiteral("Store"));
    qunsetenv("TZ");
    ASSERT_TRUE(line.endsWith(QLatin1Char('\n')));
    const auto match = linePattern.match(line.chopped(1));
    ASSERT_TRUE(match.hasMatch()) << line.toStdString();
    EXPECT_EQ(match.captured(1), QStringLiteral("Store"));
    EXPECT_EQ(match.captured(2), QStringLiteral("Loaded 2 VM bundle(s)"));
    EXPECT_EQ(line.indexOf(QLatin1Char(']')), 25); // "[" + 24 characters of timestamp

    const QString empty = LoggingService::formatLine({}, {});
    EXPECT_TRUE(empty.endsWith(QStringLiteral("] [] \n")));
}

TEST(LoggingServiceTest, MessagesGoToTheBundleLogOrTheApplicationLogNeverBoth)
{
    const TemporaryHome home;
    const QString bundle = home.path() + QStringLiteral("/Dev.vm");
    ASSERT_TRUE(QDir().mkpath(bundle));
    const LoggingService logging;

    logging.log(QStringLiteral("first"), QStringLiteral("Runtime"), bundle);
    logging.log(QStringLiteral("second"), QStringLiteral("Runtime"), bundle);
    logging.log(QStringLiteral("general"), QStringLiteral("Library"));

    const QStringList bundleLines = readAll(bundle + QStringLiteral("/Logs/duvuzodovevav.log")).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(bundleLines.size(), 2);
    EXPECT_TRUE(bundleLines[0].endsWith(QStringLiteral("[Runtime] first")));
    EXPECT_TRUE(bundleLines[1].endsWith(QStringLiteral("[Runtime] second")));

    const QString appLog = readAll(home.applicationData() + QStringLiteral("/Logs/app.log"));
    EXPECT_TRUE(appLog.contains(QStringLiteral("[Library] general")));
    EXPECT_FALSE(appLog.contains(QStringLiteral("first")));
}

TEST(LoggingServiceTest, AVanishedBundleIsNotRecreated)
{
    const TemporaryHome home;
    const QString gone = home.path() + QStringLiteral("/Unplugged.vm");
    const LoggingService logging;

    logging.log(QStringLiteral("about a missing VM"), QStringLiteral("Store"), gone);

    EXPECT_FALSE(QFileInfo::exists(gone));
    EXPECT_TRUE(readAll(home.applicationData() + QStringLiteral("/Logs/app.log")).contains(QStringLiteral("about a missing VM")));
}

TEST(LoggingServiceTest, AnUnwritableLogIsReportedAndTheCallReturns)
{
    const TemporaryHome home;
    const QString bundle = home.path() + QStringLiteral("/Locked.vm");
    // A folder where the log file belongs makes every open fail.
    ASSERT_TRUE(QDir().mkpath(bundle + QStringLiteral("/Logs/duvuzodovevav.log")));
    const LoggingService logging;

    testing::internal::CaptureStdout();
    logging.log(QStringLiteral("cannot land"), QStringLiteral("Store"), bundle);
    const std::string output = testing::internal::GetCapturedStdout();

    EXPECT_NE(output.find("[Store] cannot land\n"), std::string::npos);
    EXPECT_NE(output.find("\n[Logging] Failed to write log: "), std::string::npos);
}

TEST(LoggingServiceTest, ALinkPlantedAsTheBundleLogIsNotFollowed)
{
    const TemporaryHome home;
    const QString bundle = home.path() + QStringLiteral("/Imported.vm");
    const QString victim = home.path() + QStringLiteral("/victim.txt");
    ASSERT_TRUE(QDir().mkpath(bundle + QStringLiteral("/Logs")));
    QFile target(victim);
    ASSERT_TRUE(target.open(QIODevice::WriteOnly));
    target.write("untouched");
    target.close();
    ASSERT_TRUE(QFile::link(victim, bundle + QStringLiteral("/Logs/duvuzodovevav.log")));

    testing::internal::CaptureStdout();
    LoggingService().log(QStringLiteral("must not land elsewhere"), QStringLiteral("Store"), bundle);
    const std::string output = testing::internal::GetCapturedStdout();

    EXPECT_EQ(readAll(victim), QStringLiteral("untouched"));
    EXPECT_NE(output.find("[Logging] Failed to write log: "), std::string::npos);
}

TEST(LoggingServiceTest, LinkedFoldersOnTheWayKeepTheLogInsideTheBundle)
{
    const TemporaryHome home;
    const QString outside = home.path() + QStringLiteral("/outside");
    ASSERT_TRUE(QDir().mkpath(outside));

    // A Logs folder that is a link gives way to a folder of the bundle's own.
    const QString bundle = home.path() + QStringLiteral("/Imported.vm");
    ASSERT_TRUE(QDir().mkpath(bundle));
    ASSERT_TRUE(QFile::link(outside, bundle + QStringLiteral("/Logs")));
    LoggingService().log(QStringLiteral("stays inside"), QStringLiteral("Store"), bundle);
    EXPECT_TRUE(QDir(outside).isEmpty());
    EXPECT_FALSE(QFileInfo(bundle + QStringLiteral("/Logs")).isSymLink());
    EXPECT_TRUE(readAll(bundle + QStringLiteral("/Logs/duvuzodovevav.log")).contains(QStringLiteral("stays inside")));

    // A bundle folder that is itself a link gets no log in its target.
    const QString linked = home.path() + QStringLiteral("/Linked.vm");
    ASSERT_TRUE(QFile::link(outside, linked));
    LoggingService().log(QStringLiteral("about a linked bundle"), QStringLiteral("Store"), linked);
    EXPECT_TRUE(QDir(outside).isEmpty());
    EXPECT_TRUE(readAll(home.applicationData() + QStringLiteral("/Logs/app.log")).contains(QStringLiteral("about a linked bundle")));
}

TEST(LoggingServiceTest, ControlCharactersCannotForgeALine)
{
    const QString line = LoggingService::formatLine(QStringLiteral("Skipping Evil\n[2026-01-01T00:00:00.000Z] [Store] forged\r\x1b[2J.vm"),
                                                    QStringLiteral("Store"));
    EXPECT_EQ(line.count(QLatin1Char('\n')), 1);
    EXPECT_TRUE(line.endsWith(QStringLiteral("Skipping Evil\\n[2026-01-01T00:00:00.000Z] [Store] forged\\r\\u001b[2J.vm\n")));
}
