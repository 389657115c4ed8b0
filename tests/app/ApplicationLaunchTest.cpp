// SPDX-License-Identifier: MIT
#include "TemporaryHome.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

namespace {

QString waitForFile(const QString &path, const QString &needle, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            const QString content = QString::fromUtf8(file.readAll());
            if (content.contains(needle))
                return content;
        }
        QThread::msleep(50);
    }
    return {};
}

} // namespace

TEST(ApplicationLaunchTest, StartsOffscreenAndWritesTheApplicationLog)
{
    const TemporaryHome home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.dataHome());
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home.cacheHome());

    QProcess application;
    application.setProcessEnvironment(environment);
    application.start(QStringLiteral(DUVUZODOVEVAV_PATH), {});
    ASSERT_TRUE(application.waitForStarted(10'000));

    const QString log = waitForFile(home.applicationData() + QStringLiteral("/Logs/app.log"), QStringLiteral("started"), 15'000);
    // Still running: the window stays up until it is closed.
    EXPECT_FALSE(application.waitForFinished(300));
    EXPECT_EQ(application.state(), QProcess::Running);
    application.terminate();
    if (!application.waitForFinished(5'000))
        application.kill();
    application.waitForFinished(5'000);

    ASSERT_FALSE(log.isEmpty());
    const QRegularExpression line(QStringLiteral(R"(^\[\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}\.\d{3}Z\] \[App\] Zovozu VM Lab .* started$)"),
                                  QRegularExpression::MultilineOption);
    EXPECT_TRUE(line.match(log).hasMatch()) << log.toStdString();
}
