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
