// SPDX-License-Identifier: MIT
#pragma once

#include "ItemAttributes.h"
#include "VMBundle.h"

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
 * once per distinct error rather than on every tick, and a host text above
 * maximumHostTextBytes is not sent. Failures go to the VM's log under
 * "Clipboard"; nothing is shown. GUI thread.
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
    static constexpr qint64 maximumHostTextBytes = 4 * 1024 * 1024;

    VMClipboardSyncService(const VMGuestAutomationService &automation, const LoggingService &logging, SecurityScopedAccess &access,
        HostPasteboard &pasteboard, std::chrono::milliseconds interval = std::chrono::milliseconds(800), QObject *parent = nullptr);

    /// Follows this session from now on, or stops syncing when given none.
    void start(VirtualMachineSession *session);
    /// One round: host to guest, then guest to host. The timer calls it.
    void tick();

    bool isSyncing() const { return m_timer.isActive(); }
    VirtualMachineSession *activeSession() const { return m_activeSession; }

private:
    void publishHostClipboard(const VMBundle &bundle);
    void applyGuestClipboard(const VMBundle &bundle);
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
};
