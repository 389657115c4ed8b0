// SPDX-License-Identifier: MIT
#pragma once

#include "ClipboardText.h"
#include "ItemAttributes.h"
#include "VMBundle.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUuid>

#include <chrono>
#include <optional>

class HostPasteboard;
class LoggingService;
class SecurityScopedAccess;
class VMGuestAutomationService;
class VirtualMachineSession;

/**
 * Keeps plain text on the host's clipboard in step with one guest's, through
 * the two clipboard files of that VM's automation folder: the host writes
 * Clipboard/HostClipboard.json, the guest tools write GuestClipboard.json.
 * It follows the VM whose console window was reported active last (start()),
 * and every 0.8 s, while that VM is running or paused, it first sends a new
 * host text to the guest, then takes a new guest message onto the host.
 *
 * Echo suppression: a host text goes out only after the clipboard's change
 * count moved, when it is not empty and differs from the text last exchanged
 * in either direction; a guest message is applied once per identifier, and
 * the one waiting when a VM becomes active counts as applied.
 *
 * The guest writes its file as it likes, so the file is read again only when
 * its identity, size or modification time changed, a broken file is logged
 * once per distinct error rather than on every tick, and a text above 4 MiB
 * is not taken in either direction (the guest's file is read only up to
 * the size such a text needs). The guest's file is read and decoded on a
 * worker thread; while that runs, ticks do nothing, and a result that comes
 * back after the followed VM changed is dropped. The message waiting when a
 * VM becomes active is recognised at the first read by its file being
 * unchanged since then. Failures go to the VM's log under "Clipboard";
 * nothing is shown. GUI thread.
 *
 * @code
 * VMClipboardSyncService sync(automation, logging, access, pasteboard);
 * consoleWindows.setOnActiveSessionChange([&sync](VirtualMachineSession *session) { sync.start(session); });
 * @endcode
 */
class VMClipboardSyncService : public QObject
{
    Q_OBJECT

public:
    /// The largest host text sent to a guest, in UTF-8 bytes.
    static constexpr qint64 maximumHostTextBytes = ClipboardText::maximumTextBytes;
    /// The largest guest text put on the host's clipboard, in UTF-8 bytes.
    static constexpr qint64 maximumGuestTextBytes = ClipboardText::maximumTextBytes;

    VMClipboardSyncService(const VMGuestAutomationService &automation, const LoggingService &logging, SecurityScopedAccess &access,
        HostPasteboard &pasteboard, std::chrono::milliseconds interval = std::chrono::milliseconds(800), QObject *parent = nullptr);

    /// Follows this session from now on, or stops syncing when given none.
    void start(VirtualMachineSession *session);
    /// One round: host to guest, then guest to host. The timer calls it; never throws. Does nothing while the guest's file of an earlier round is still being read.
    QCoro::Task<> tick();

    bool isSyncing() const { return m_timer.isActive(); }
    VirtualMachineSession *activeSession() const { return m_activeSession; }

private:
    void publishHostClipboard(const VMBundle &bundle);
    QCoro::Task<> applyGuestClipboard(VMBundle bundle);
    std::optional<ItemAttributes::Status> guestFileStatus(const VMBundle &bundle) const;
    void logFailure(const QString &description, const VMBundle &bundle) const;

    const VMGuestAutomationService &m_automation;
    const LoggingService &m_logging;
    SecurityScopedAccess &m_access;
    HostPasteboard &m_pasteboard;
    QTimer m_timer;
    QPointer<VirtualMachineSession> m_activeSession;
    qint64 m_lastObservedHostChangeCount = 0;
    std::optional<QString> m_lastPublishedHostText;
    std::optional<QUuid> m_lastAppliedGuestMessageID;
    /// The guest file as it was when last read; while it stays so it is not read again.
    std::optional<ItemAttributes::Status> m_lastReadGuestFile;
    /// The last failure to read the guest file that was logged.
    std::optional<QString> m_lastGuestFailure;
    /// Set by start(): the next read takes the message found as applied when the file is still the one there at activation.
    bool m_adoptWaitingMessage = false;
    std::optional<ItemAttributes::Status> m_guestFileAtActivation;
    /// Counts start() calls, so that a read begun for an earlier one is recognised as stale.
    quint64 m_followGeneration = 0;
    bool m_readingGuestFile = false;
};
