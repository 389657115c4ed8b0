// SPDX-License-Identifier: MIT
#include "VMClipboardSyncService.h"

#include "BusyThreadPool.h"
#include "ClipboardText.h"
#include "FileBookmarkService.h"
#include "HostSecurityScopedAccess.h"
#include "InMemoryHostPasteboard.h"
#include "JSONCoding.h"
#include "LoggingService.h"
#include "QtPrinters.h"
#include "RecordingFakes.h"
#include "ScriptedSession.h"
#include "TaskWaiter.h"
#include "TemporaryHome.h"
#include "TestFiles.h"
#include "VMGuestAutomationService.h"
#include "VMSharedFolderService.h"
#include "VirtualMachineSession.h"

#include <QDir>
#include <QFileInfo>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <memory>
#include <utility>

namespace {

using TestFiles::read;
using TestFiles::write;

/// One round, waited for to its end: the guest's file is read on a worker thread.
void tick(VMClipboardSyncService &sync)
{
    EXPECT_EQ(TaskWaiter::failureOf(sync.tick()), nullptr);
}

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
    tick(sync);
    EXPECT_EQ(hostMessageText(*m_first), std::nullopt);

    m_pasteboard.setString(QStringLiteral("abc")); // copied again: same text, nothing to send
    tick(sync);
    EXPECT_EQ(hostMessageText(*m_first), std::nullopt);

    m_pasteboard.setString(QStringLiteral("def"));
    tick(sync);
    EXPECT_EQ(hostMessageText(*m_first), QStringLiteral("def"));
    const QByteArray written = read(clipboardFile(*m_first, "HostClipboard.json"));

    m_pasteboard.copyNonText(); // forgets the text last exchanged, so "def" goes out again
    tick(sync);
    m_pasteboard.setString(QStringLiteral("def"));
    tick(sync);
    EXPECT_EQ(hostMessageText(*m_first), QStringLiteral("def"));
    EXPECT_EQ(read(clipboardFile(*m_first, "HostClipboard.json")), written); // the file already held it

    m_pasteboard.setString(QString(VMClipboardSyncService::maximumHostTextBytes + 1, QLatin1Char('x')));
    tick(sync);
    EXPECT_EQ(hostMessageText(*m_first), QStringLiteral("def"));
    EXPECT_TRUE(log(*m_first).contains(QStringLiteral("[Clipboard] The host clipboard text is too long")));

    m_first->setRuntimeState(VMRuntimeState::stopped);
    m_pasteboard.setString(QStringLiteral("ghi"));
    tick(sync);
    EXPECT_EQ(hostMessageText(*m_first), QStringLiteral("def"));
}

TEST_F(VMClipboardSyncServiceTest, AHostTextPastTheCapIsRefusedByItsLengthBeforeItIsConverted)
{
    const qint64 cap = VMClipboardSyncService::maximumHostTextBytes;
    const QChar eAcute(0x00E9); // two bytes in UTF-8
    VMClipboardSyncService sync(m_automation, m_logging, m_access, m_pasteboard);
    sync.start(m_first.get());
    tick(sync);
    const struct {
        const char *what;
        QString text;
        QString logged; // empty: the text is sent
    } cases[] = {
        // Longer than the cap in UTF-16 units already: its UTF-8 is at least as long, and is never made.
        {"one character past the cap", QString(cap + 1, QLatin1Char('x')),
         QStringLiteral("[Clipboard] The host clipboard text is too long to send to the guest (at least %1 bytes; at most %2).").arg(cap + 1).arg(cap)},
        // Within the cap in characters but not in bytes: converted, then measured exactly.
        {"one two-byte character past the cap", QString(cap / 2 + 1, eAcute),
         QStringLiteral("[Clipboard] The host clipboard text is too long to send to the guest (%1 bytes; at most %2).").arg(cap + 2).arg(cap)},
        {"exactly the cap in two-byte characters", QString(cap / 2, eAcute), {}},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        const qsizetype lines = log(*m_first).count(QStringLiteral("[Clipboard]"));
        m_pasteboard.setString(testCase.text);
        tick(sync);
        if (testCase.logged.isEmpty()) {
            EXPECT_TRUE(hostMessageText(*m_first) == testCase.text); // not EXPECT_EQ: a failure would print megabytes
            EXPECT_EQ(log(*m_first).count(QStringLiteral("[Clipboard]")), lines);
        } else {
            EXPECT_NE(hostMessageText(*m_first).value_or(QString()).size(), testCase.text.size());
            EXPECT_EQ(log(*m_first).count(QStringLiteral("[Clipboard]")), lines + 1);
            EXPECT_TRUE(log(*m_first).contains(testCase.logged)) << log(*m_first).right(300).toStdString();
        }
    }
}

TEST_F(VMClipboardSyncServiceTest, AGuestMessageIsAppliedOnceAndNotSentBack)
{
    VMClipboardSyncService sync(m_automation, m_logging, m_access, m_pasteboard);
    guestCopies(*m_second, QStringLiteral("waiting before activation"));
    sync.start(m_first.get());
    sync.start(m_second.get()); // switching: the message already waiting is not applied
    tick(sync);
    EXPECT_EQ(m_pasteboard.string(), std::nullopt);

    guestCopies(*m_second, QStringLiteral("xyz"));
    tick(sync);
    EXPECT_EQ(m_pasteboard.string(), QStringLiteral("xyz"));
    const qint64 count = m_pasteboard.changeCount();
    tick(sync);
    EXPECT_EQ(m_pasteboard.changeCount(), count);
    EXPECT_EQ(hostMessageText(*m_second), std::nullopt); // not echoed back

    VMClipboardMessage broken = sharedJSONDecoder().decode<VMClipboardMessage>(read(clipboardFile(*m_second, "GuestClipboard.json")));
    broken.id = QUuid::createUuid();
    broken.textBase64 = QStringLiteral("not base64 !");
    write(clipboardFile(*m_second, "GuestClipboard.json"), sharedJSONEncoder().encode(broken));
    tick(sync);
    EXPECT_EQ(m_pasteboard.string(), QStringLiteral("xyz"));
    EXPECT_EQ(m_pasteboard.changeCount(), count);
}

TEST_F(VMClipboardSyncServiceTest, AGuestTextPastTheCapStaysInTheGuest)
{
    const qint64 cap = VMClipboardSyncService::maximumGuestTextBytes;
    EXPECT_EQ(cap, VMClipboardSyncService::maximumHostTextBytes);
    VMClipboardSyncService sync(m_automation, m_logging, m_access, m_pasteboard);
    sync.start(m_first.get());
    tick(sync);
    const struct {
        const char *what;
        qint64 length;
        QString logged; // empty: the text is taken
    } cases[] = {
        {"one byte past the cap", cap + 1,
         QStringLiteral("[Clipboard] The guest clipboard text is too long to take onto the host (%1 bytes; at most %2).").arg(cap + 1).arg(cap)},
        // Its file is larger than any message within the cap: it is not even read whole.
        {"twelve and a half million characters", 12'500'000, QStringLiteral("File too large")},
        {"exactly the cap", cap, {}},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        m_pasteboard.setString(QStringLiteral("before"));
        tick(sync); // sent to the guest: the next change on the pasteboard can only come from the guest
        const qint64 count = m_pasteboard.changeCount();
        const qsizetype lines = log(*m_first).count(QStringLiteral("[Clipboard]"));
        guestCopies(*m_first, QString(testCase.length, QLatin1Char('g')));
        tick(sync);
        tick(sync);
        if (testCase.logged.isEmpty()) {
            EXPECT_EQ(m_pasteboard.string()->size(), testCase.length);
        } else {
            EXPECT_TRUE(m_pasteboard.string() == QStringLiteral("before")); // not EXPECT_EQ: a failure would print megabytes
            EXPECT_EQ(m_pasteboard.changeCount(), count);
            EXPECT_EQ(log(*m_first).count(QStringLiteral("[Clipboard]")), lines + 1) << log(*m_first).toStdString();
            EXPECT_TRUE(log(*m_first).contains(testCase.logged)) << log(*m_first).right(300).toStdString();
        }
    }
}

TEST_F(VMClipboardSyncServiceTest, TheGuestFileIsDecodedOffTheGUIThreadAndAStaleResultIsDropped)
{
    VMClipboardSyncService sync(m_automation, m_logging, m_access, m_pasteboard);
    sync.start(m_first.get());
    tick(sync);

    guestCopies(*m_first, QStringLiteral("read on a worker"));
    {
        BusyThreadPool busy;
        QCoro::Task<> round = sync.tick();
        EXPECT_FALSE(round.isReady()); // waiting for a worker, with the GUI thread free meanwhile
        EXPECT_EQ(m_pasteboard.string(), std::nullopt);
        tick(sync); // a round while the read runs does nothing
        busy.release();
        EXPECT_EQ(TaskWaiter::failureOf(std::move(round)), nullptr);
    }
    EXPECT_EQ(m_pasteboard.string(), QStringLiteral("read on a worker"));

    guestCopies(*m_first, QStringLiteral("copied in the first VM"));
    {
        BusyThreadPool busy;
        QCoro::Task<> round = sync.tick();
        sync.start(m_second.get()); // the user turned to another console while the first VM's text was read
        busy.release();
        EXPECT_EQ(TaskWaiter::failureOf(std::move(round)), nullptr);
    }
    EXPECT_EQ(m_pasteboard.string(), QStringLiteral("read on a worker"));

    guestCopies(*m_second, QStringLiteral("copied in the second VM"));
    tick(sync);
    EXPECT_EQ(m_pasteboard.string(), QStringLiteral("copied in the second VM"));
}

TEST_F(VMClipboardSyncServiceTest, ABrokenGuestFileIsLoggedOncePerErrorAndHostTextStillGoesOut)
{
    VMClipboardSyncService sync(m_automation, m_logging, m_access, m_pasteboard);
    sync.start(m_first.get());
    write(clipboardFile(*m_first, "GuestClipboard.json"), "{ not json");
    for (int round = 0; round < 5; ++round)
        tick(sync);
    EXPECT_EQ(log(*m_first).count(QStringLiteral("[Clipboard]")), 1) << log(*m_first).toStdString();

    m_pasteboard.setString(QStringLiteral("still sent"));
    tick(sync);
    EXPECT_EQ(hostMessageText(*m_first), QStringLiteral("still sent"));

    // A FIFO in its place is refused at once, without waiting for a writer.
    QFile::remove(clipboardFile(*m_first, "GuestClipboard.json"));
    TestFiles::makeFifo(clipboardFile(*m_first, "GuestClipboard.json"));
    tick(sync);
    tick(sync);
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
    tick(sync);
    EXPECT_EQ(sync.activeSession(), nullptr);
}

} // namespace
