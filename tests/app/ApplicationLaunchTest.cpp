// SPDX-License-Identifier: MIT
#include "ApplicationProcess.h"
#include "TemporaryHome.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

TEST(ApplicationLaunchTest, StartsOffscreenAndWritesTheApplicationLog)
{
    const TemporaryHome home;
    ApplicationProcess application(home);
    ASSERT_TRUE(application.waitForStarted());

    const QString log = application.waitForFile(home.applicationData() + QStringLiteral("/Logs/app.log"), QStringLiteral("started"), 15'000);
    // Still running: the window stays up until it is closed.
    EXPECT_FALSE(application.finishesWithin(300));
    EXPECT_TRUE(application.isRunning());
    application.stop();

    ASSERT_FALSE(log.isEmpty()) << application.output().toStdString();
    const QRegularExpression line(QStringLiteral(R"(^\[\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}\.\d{3}Z\] \[App\] Zovozu VM Lab .* started$)"),
                                  QRegularExpression::MultilineOption);
    EXPECT_TRUE(line.match(log).hasMatch()) << log.toStdString();
}

TEST(ApplicationLaunchTest, ASecondStartOnTheSameLibraryLeavesItToTheFirst)
{
    const TemporaryHome home;
    const QString appLog = home.applicationData() + QStringLiteral("/Logs/app.log");
    ApplicationProcess first(home);
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_FALSE(first.waitForFile(appLog, QStringLiteral("started"), 15'000).isEmpty()) << first.output().toStdString();

    ApplicationProcess second(home);
    ASSERT_TRUE(second.waitForStarted());
    ASSERT_TRUE(second.finishesWithin(15'000));
    EXPECT_NE(second.exitCode(), 0);
    EXPECT_TRUE(second.output().contains(QStringLiteral("Zovozu VM Lab is already running with this library; its window was brought to the front.")));
    EXPECT_FALSE(first.waitForFile(appLog, QStringLiteral("Brought the window to the front for a second start"), 15'000).isEmpty());
    EXPECT_TRUE(first.isRunning());
    // The second start never built its services, so it never logged its start.
    EXPECT_EQ(ApplicationProcess::read(appLog).count(QStringLiteral("] [App] Zovozu VM Lab ")), 1);

    // An instance that ended without unlocking, as on a crash, leaves the library to the next start.
    first.stop();
    ApplicationProcess third(home);
    ASSERT_TRUE(third.waitForStarted());
    const QDeadlineTimer deadline(15'000);
    while (ApplicationProcess::read(appLog).count(QStringLiteral("] [App] Zovozu VM Lab ")) < 2 && !deadline.hasExpired() && !third.finishesWithin(20)) {
    }
    EXPECT_EQ(ApplicationProcess::read(appLog).count(QStringLiteral("] [App] Zovozu VM Lab ")), 2) << third.output().toStdString();
    EXPECT_TRUE(third.isRunning());
}
