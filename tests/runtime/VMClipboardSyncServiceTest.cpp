// SPDX-License-Identifier: MIT
#include "VMClipboardSyncService.h"

#include "ClipboardText.h"
#include "FileBookmarkService.h"
#include "HostSecurityScopedAccess.h"
#include "InMemoryHostPasteboard.h"
#include "JSONCoding.h"
#include "LoggingService.h"
#include "QtPrinters.h"
#include "RecordingFakes.h"
#include "ScriptedSession.h"
#include "TemporaryHome.h"
#include "TestFiles.h"
#include "VMGuestAutomationService.h"
#include "VMSharedFolderService.h"
#include "VirtualMachineSession.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <memory>

namespace {

using TestFiles::read;
using TestFiles::write;

class VMClipboardSyncServiceTest : public ::testing::Test
{
protected:
    std::unique_ptr<VirtualMachineSession> makeSession(const QString &name)
    {
        return makeScriptedSession(m_home.path(), name, m_sharedFolders, m_logging);
    }

    static QString clipboardFile(const VirtualMachineSession &session, const char *name)
    {
        return session.bundle().bundleURL + QStringLiteral("/Automation/Clipboard/") + QString::fromLatin1(name);
    }

    /// What the host last wrote for the guest; none when it wrote nothing.
    static std::optional<QString> hostMessageText(const VirtualMachineSession &session)
    {
        const QString file = clipboardFile(session, "HostClipboard.json");
        if (!QFileInfo::exists(file))
            return std::nullopt;
        return ClipboardText::text(sharedJSONDecoder().decode<VMClipboardMessage>(read(file)));
    }

    /// The guest tools copy `text`.
    static QUuid guestCopies(const VirtualMachineSession &session, const QString &text)
    {
        VMClipboardMessage message;
        message.id = QUuid::createUuid();
        message.source = VMClipboardMessageSource::guest;
        message.updatedAt = QDateTime(QDate(2025, 3, 4), QTime(5, 6, 7), Qt::UTC);
        message.textBase64 = ClipboardText::textBase64(text);
        write(clipboardFile(session, "GuestClipboard.json"), sharedJSONEncoder().encode(message));
        return message.id;
    }

    QString log(const VirtualMachineSession &session) const { return QString::fromUtf8(read(session.bundle().bundleURL + QStringLiteral("/Logs/duvuzodovevav.log"))); }

    TemporaryHome m_home;
    const LoggingService m_logging {};
    FileBookmarkService m_bookmarks;
    HostSecurityScopedAccess m_access;
    RecordingFileViewer m_viewer;
    const VMSharedFolderService m_sharedFolders { m_bookmarks, m_access };
    const VMGuestAutomationService m_automation { m_logging, m_access, m_viewer, ApplicationResources(std::nullopt) };
    InMemoryHostPasteboard m_pasteboard;
    std::unique_ptr<VirtualMachineSession> m_first = makeSession(QStringLiteral("First"));
    std::unique_ptr<VirtualMachineSession> m_second = makeSession(QStringLiteral("Second"));
};

TEST_F(VMClipboardSyncServiceTest, HostTextGoesToTheGuestOnlyWhenItChanged)
{
    m_pasteboard.setString(QStringLiteral("abc")); // on the clipboard before the application started
    VMClipboardSyncService sync(m_automation, m_logging, m_access, m_pasteboard);
    sync.start(m_first.get());
    EXPECT_TRUE(sync.isSyncing());
    sync.tick();
    EXPECT_EQ(hostMessageText(*m_first), std::nullopt);

    m_pasteboard.setString(QStringLiteral("abc")); // copied again: same text, nothing to send
    sync.tick();
    EXPECT_EQ(hostMessageText(*m_first), std::nullopt);

    m_pasteboard.setString(QStringLiteral("def"));
    sync.tick();
    EXPECT_EQ(hostMessageText(*m_first), QStringLiteral("def"));
    const QByteArray written = read(clipboardFile(*m_first, "HostClipboard.json"));

    m_pasteboard.copyNonText(); // forgets the text last exchanged, so "def" goes out again
    sync.tick();
    m_pasteboard.setString(QStringLiteral("def"));
    sync.tick();
    EXPECT_EQ(hostMessageText(*m_first), QStringLiteral("def"));
    EXPECT_EQ(read(clipboardFile(*m_first, "HostClipboard.json")), written); // the file already held it

    m_pasteboard.setString(QString(VMClipboardSyncService::maximumHostTextBytes + 1, QLatin1Char('x')));
    sync.tick();
    EXPECT_EQ(hostMessageText(*m_first), QStringLiteral("def"));
    EXPECT_TRUE(log(*m_first).contains(QStringLiteral("[Clipboard] The host clipboard text is too long")));

    m_first->setRuntimeState(VMRuntimeState::stopped);
    m_pasteboard.setString(QStringLiteral("ghi"));
    sync.tick();
    EXPECT_EQ(hostMessageText(*m_first), QStringLiteral("def"));
}

TEST_F(VMClipboardSyncServiceTest, AGuestMessageIsAppliedOnceAndNotSentBack)
{
    VMClipboardSyncService sync(m_automation, m_logging, m_access, m_pasteboard);
    guestCopies(*m_second, QStringLiteral("waiting before activation"));
    sync.start(m_first.get());
    sync.start(m_second.get()); // switching: the message already waiting is not applied
    sync.tick();
    EXPECT_EQ(m_pasteboard.string(), std::nullopt);

    guestCopies(*m_second, QStringLiteral("xyz"));
    sync.tick();
    EXPECT_EQ(m_pasteboard.string(), QStringLiteral("xyz"));
    const qint64 count = m_pasteboard.changeCount();
    sync.tick();
    EXPECT_EQ(m_pasteboard.changeCount(), count);
    EXPECT_EQ(hostMessageText(*m_second), std::nullopt); // not echoed back

    VMClipboardMessage broken = sharedJSONDecoder().decode<VMClipboardMessage>(read(clipboardFile(*m_second, "GuestClipboard.json")));
    broken.id = QUuid::createUuid();
    broken.textBase64 = QStringLiteral("not base64 !");
    write(clipboardFile(*m_second, "GuestClipboard.json"), sharedJSONEncoder().encode(broken));
    sync.tick();
    EXPECT_EQ(m_pasteboard.string(), QStringLiteral("xyz"));
    EXPECT_EQ(m_pasteboard.changeCount(), count);
}

TEST_F(VMClipboardSyncServiceTest, ABrokenGuestFileIsLoggedOncePerErrorAndHostTextStillGoesOut)
{
    VMClipboardSyncService sync(m_automation, m_logging, m_access, m_pasteboard);
    sync.start(m_first.get());
    write(clipboardFile(*m_first, "GuestClipboard.json"), "{ not json");
    for (int round = 0; round < 5; ++round)
        sync.tick();
    EXPECT_EQ(log(*m_first).count(QStringLiteral("[Clipboard]")), 1) << log(*m_first).toStdString();

    m_pasteboard.setString(QStringLiteral("still sent"));
    sync.tick();
    EXPECT_EQ(hostMessageText(*m_first), QStringLiteral("still sent"));

    // A FIFO in its place is refused at once, without waiting for a writer.
    QFile::remove(clipboardFile(*m_first, "GuestClipboard.json"));
    TestFiles::makeFifo(clipboardFile(*m_first, "GuestClipboard.json"));
    sync.tick();
    sync.tick();
    EXPECT_EQ(log(*m_first).count(QStringLiteral("[Clipboard]")), 2) << log(*m_first).toStdString();
}

TEST_F(VMClipboardSyncServiceTest, StartingWithNoSessionStopsTheTimerAndAnotherStartRestartsIt)
{
    VMClipboardSyncService sync(m_automation, m_logging, m_access, m_pasteboard);
    EXPECT_FALSE(sync.isSyncing());
    sync.start(m_first.get());
    EXPECT_TRUE(sync.isSyncing());
    sync.start(nullptr);
    EXPECT_FALSE(sync.isSyncing());
    EXPECT_EQ(sync.activeSession(), nullptr);
    sync.start(m_second.get());
    EXPECT_TRUE(sync.isSyncing());
    m_second.reset(); // the session goes away: ticks do nothing
    sync.tick();
    EXPECT_EQ(sync.activeSession(), nullptr);
}

} // namespace
