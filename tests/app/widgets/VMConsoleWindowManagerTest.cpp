// SPDX-License-Identifier: MIT
#include "VMConsoleWindowManager.h"

#include "ConsoleWindow.h"
#include "FileBookmarkService.h"
#include "HostSecurityScopedAccess.h"
#include "LoggingService.h"
#include "ScriptedSession.h"
#include "TemporaryHome.h"
#include "VMHardwareProfile.h"
#include "VMSharedFolderService.h"
#include "VirtualMachineSession.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QSettings>

#include <gtest/gtest.h>

#include <memory>

namespace {

VMHardwareProfile display(qint64 width, qint64 height)
{
    VMHardwareProfile profile;
    profile.displayWidth = width;
    profile.displayHeight = height;
    return profile;
}

TEST(VMConsoleWindowManagerTest, TheFirstSizeFollowsTheGuestDisplayWithinTheScreen)
{
    const struct {
        qint64 width, height;
        std::optional<QRectF> area;
        QSizeF expected;
    } cases[] = {
        { 1920, 1080, QRectF(0, 25, 2560, 1415), QSizeF(1574.4, 977.6) },
        { 1024, 768, QRectF(0, 25, 2560, 1415), QSizeF(980, 760) }, // both minima
        { 1920, 1200, QRectF(0, 0, 1440, 900), QSizeF(1324.8, 828) }, // both 92 % caps
        { 1920, 1200, std::nullopt, QSizeF(1324.8, 828) }, // no screen: 1440 x 900
        { 0, -5, QRectF(0, 0, 1440, 900), QSizeF(980, 760) },
    };
    for (const auto &sample : cases) {
        const QRectF rect = VMConsoleWindowManager::initialContentRect(display(sample.width, sample.height), sample.area);
        EXPECT_NEAR(rect.width(), sample.expected.width(), 1e-9) << sample.width;
        EXPECT_NEAR(rect.height(), sample.expected.height(), 1e-9) << sample.width;
        const QRectF area = sample.area.value_or(QRectF(0, 0, 1440, 900));
        EXPECT_NEAR(rect.center().x(), area.center().x(), 1e-9);
        EXPECT_NEAR(rect.center().y(), area.center().y(), 1e-9);
    }
}

class VMConsoleWindowManagerWindowsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QCoreApplication::setOrganizationName(QStringLiteral("ConsoleWindowTest"));
        QSettings::setDefaultFormat(QSettings::IniFormat);
        m_manager->setOnActiveSessionChange([this](VirtualMachineSession *session) { m_reports.append(session); });
    }

    std::unique_ptr<VirtualMachineSession> makeSession(const QString &name)
    {
        return makeScriptedSession(m_home.path(), name, m_sharedFolders, m_logging);
    }

    static void settle()
    {
        for (int round = 0; round < 5; ++round) {
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }

    TemporaryHome m_home;
    const LoggingService m_logging {};
    FileBookmarkService m_bookmarks;
    HostSecurityScopedAccess m_access;
    const VMSharedFolderService m_sharedFolders { m_bookmarks, m_access };
    std::unique_ptr<VMConsoleWindowManager> m_manager = std::make_unique<VMConsoleWindowManager>();
    QList<VirtualMachineSession *> m_reports;
    std::unique_ptr<VirtualMachineSession> m_first = makeSession(QStringLiteral("First"));
    std::unique_ptr<VirtualMachineSession> m_second = makeSession(QStringLiteral("Second"));
};

TEST_F(VMConsoleWindowManagerWindowsTest, OpeningAgainReusesTheWindowWithTheNewContentAndTitle)
{
    QPointer<QLabel> firstContent = new QLabel(QStringLiteral("first"));
    m_manager->openConsole(*m_first, firstContent);
    ConsoleWindow *window = m_manager->window(m_first->id());
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("First Console"));
    EXPECT_EQ(window->autosaveName(), QStringLiteral("VMConsole-") + m_first->id().toString(QUuid::WithoutBraces).toUpper());
    EXPECT_GE(window->width(), 820);

    VMBundle renamed = m_first->bundle();
    renamed.metadata.name = QStringLiteral("Renamed");
    m_first->setBundle(renamed);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Renamed Console"));

    auto *secondContent = new QLabel(QStringLiteral("second"));
    m_manager->openConsole(*m_first, secondContent);
    settle();
    EXPECT_EQ(m_manager->window(m_first->id()), window);
    EXPECT_EQ(m_manager->windowCount(), 1);
    EXPECT_EQ(window->content(), secondContent);
    EXPECT_FALSE(firstContent); // the replaced view is gone
    EXPECT_GE(m_reports.size(), 2); // each opening, and each time the window becomes active
    EXPECT_EQ(m_reports.count(m_first.get()), m_reports.size());
}

TEST_F(VMConsoleWindowManagerWindowsTest, ClosingReportsTheWindowThatIsActiveThenOrNone)
{
    m_manager->openConsole(*m_first, new QLabel);
    m_manager->openConsole(*m_second, new QLabel);
    settle();
    QApplication::setActiveWindow(m_manager->window(m_second->id()));
    settle();
    m_reports.clear();

    m_manager->closeWindow(m_first->id());
    settle();
    EXPECT_FALSE(m_manager->window(m_first->id()));
    ASSERT_FALSE(m_reports.isEmpty());
    EXPECT_EQ(m_reports.last(), m_second.get());

    m_manager->closeWindow(m_second->id());
    settle();
    EXPECT_EQ(m_manager->windowCount(), 0);
    EXPECT_EQ(m_reports.last(), nullptr);

    m_reports.clear();
    m_manager->closeWindow(QUuid::createUuid()); // no window: nothing happens
    EXPECT_TRUE(m_reports.isEmpty());
}

TEST_F(VMConsoleWindowManagerWindowsTest, AWindowThatBecomesActiveIsReportedAndItsGeometryIsKept)
{
    m_manager->openConsole(*m_first, new QLabel);
    m_manager->openConsole(*m_second, new QLabel);
    settle();
    m_reports.clear();
    QApplication::setActiveWindow(m_manager->window(m_first->id()));
    settle();
    ASSERT_FALSE(m_reports.isEmpty());
    EXPECT_EQ(m_reports.last(), m_first.get());

    m_manager->window(m_first->id())->setGeometry(100, 120, 900, 700);
    m_manager->closeWindow(m_first->id());
    settle();
    m_manager->openConsole(*m_first, new QLabel);
    EXPECT_EQ(m_manager->window(m_first->id())->size(), QSize(900, 700));
}

TEST_F(VMConsoleWindowManagerWindowsTest, TheManagerMayGoBeforeItsWindows)
{
    m_manager->openConsole(*m_first, new QLabel);
    m_manager.reset();
    settle();
    m_first.reset();
    SUCCEED();
}

} // namespace
