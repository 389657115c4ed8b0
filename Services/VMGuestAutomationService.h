// SPDX-License-Identifier: MIT
#pragma once

#include "ApplicationResources.h"
#include "ClipboardText.h"
#include "ConfinedFolder.h"
#include "FileViewer.h"
#include "VMBundle.h"
#include "VMClipboardMessage.h"
#include "VMGuestAutomationHeartbeat.h"
#include "VMGuestAutomationQueueResult.h"
#include "VMGuestAutomationStatusSnapshot.h"

#include <QString>
#include <QStringView>

#include <array>
#include <optional>

class LoggingService;
class SecurityScopedAccess;

/**
 * The host side of a bundle's automation folder, Automation/, which the
 * guest sees as the share "KestrumAutomation": the folder tree, the marker
 * by which the guest tools find it, a README, a staged copy of the
 * guest-tools package, the request queue, the guest's status and the two
 * clipboard files. Every operation is one call; nothing polls. Holds no
 * state (it is all on disk); GUI thread; logs under "GuestAutomation".
 *
 * The guest writes into this folder whatever it likes while the VM runs, so
 * the service never follows a link inside it, writes only into real
 * folders it made (a subfolder replaced by a link is made again), and reads
 * what the guest wrote as regular files only, without blocking and up to a
 * size cap; anything else reads as unreadable.
 *
 * @code
 * const VMGuestAutomationQueueResult queued = automation.enqueueRequest(bundle);
 * const VMGuestAutomationStatusSnapshot status = automation.agentStatus(bundle);
 * @endcode
 */
class VMGuestAutomationService
{
public:
    static constexpr QStringView markerFileName = u"DuvuzodOvevavAutomationRoot.marker";
    static constexpr QStringView readmeFileName = u"README.txt";
    static constexpr QStringView packageFileName = u"DozizidOdezu.pkg";
    static constexpr QStringView statusFileName = u"GuestAgentStatus.json";
    static constexpr QStringView requestsDirectoryName = u"Requests";
    static constexpr QStringView responsesDirectoryName = u"Responses";
    static constexpr QStringView clipboardDirectoryName = u"Clipboard";
    static constexpr QStringView hostClipboardFileName = u"HostClipboard.json";
    static constexpr QStringView guestClipboardFileName = u"GuestClipboard.json";
    /// Files of an older tool set, deleted in this order.
    static constexpr std::array<QStringView, 5> legacyFileNames {
        u"Install Kestrum Tools.command",
        u"duvuzodovevav-guest-agent.sh",
        u"lab.zovozu.guestagent.plist",
        u"duvuzodovevav-clipboard-agent.sh",
        u"lab.zovozu.clipboardagent.plist",
    };
    /// The largest status, request or response file read; a record is a few hundred bytes.
    static constexpr qint64 maximumRecordSize = 1024 * 1024;
    /// The largest clipboard message read: room for the longest text sent (ClipboardText::maximumTextBytes) in Base64, and the record around it.
    static constexpr qint64 maximumClipboardMessageSize = (ClipboardText::maximumTextBytes + 2) / 3 * 4 + 64 * 1024;

    VMGuestAutomationService(
        const LoggingService &logging, SecurityScopedAccess &access, FileViewer &fileViewer, ApplicationResources resources);

    /**
     * Creates or repairs the folder: the tree, the marker (an existing one
     * is left as it is), the README (written only when its text changed),
     * the staged package, the removal of older tools' files and of the
     * quarantine mark from the folder and the items the host keeps in it
     * (never from what the guest wrote, so the cost does not grow with
     * it). Idempotent. The bundle folder itself is never made: for a
     * bundle that has gone this fails with ENOENT instead of leaving an
     * empty shell of it. The first failure is thrown as PlatformError;
     * what earlier steps did stays.
     */
    void ensureAutomationRoot(const VMBundle &bundle) const;

    /**
     * Queues a request to grow the guest's system container to the bundle's
     * disk size. Every pending disk request that decodes is deleted first, so
     * the newest request replaces them; CI requests and files that do not
     * decode stay. Returns
     * the request written and whether the guest tools have reported.
     * File-system and encoding failures are thrown.
     */
    VMGuestAutomationQueueResult enqueueRequest(const VMBundle &bundle) const;

    /// What the guest tools have reported; never fails (what cannot be read is absent, 0 or not installed).
    VMGuestAutomationStatusSnapshot agentStatus(const VMBundle &bundle) const;

    /**
     * Shows the staged package in the file manager, or the automation folder
     * when there is none; throws when that folder cannot be made. Why no file
     * manager could show it goes to `failed`.
     */
    void revealToolsPackage(const VMBundle &bundle, FileViewer::FailureHandler failed) const;

    /// Writes the host's clipboard text for the guest, unless HostClipboard.json already carries that text. Failures are thrown.
    void writeHostClipboard(const QString &text, const VMBundle &bundle) const;
    /// The same for a text already in UTF-8.
    void writeHostClipboardUtf8(const QByteArray &utf8Text, const VMBundle &bundle) const;

    /// The guest's last clipboard message; none when the guest has written none. An unreadable or undecodable file is thrown. Touches no state: safe on a worker thread.
    static std::optional<VMClipboardMessage> readGuestClipboard(const VMBundle &bundle);

    /// Removes the quarantine mark from the one item at `path`; a missing mark or item is no error, any other failure is thrown.
    static void removeQuarantineAttribute(const QString &path);

    /// Makes sure Automation/ and its Requests, Responses and Clipboard folders are real folders, and opens Automation/.
    static ConfinedFolder createAutomationFolders(const VMBundle &bundle);

    static QString automationReadmeText(const VMBundle &bundle);

    /// The guest-tools package to stage, from the application's resources or a developer's build; none when there is none.
    std::optional<QString> toolsPackageSourceURL() const;

private:
    void stageToolsPackage(const ConfinedFolder &automation) const;
    static void removeQuarantine(const QString &folder);
    static void removePendingRequests(const ConfinedFolder &requests);
    static std::optional<VMGuestAutomationHeartbeat> heartbeat(const QString &automationFolder);
    static std::optional<VMGuestAutomationResponse> latestResponse(const QString &automationFolder);
    static qint64 pendingRequestCount(const QString &automationFolder);
    /// ensureAutomationRoot inside security-scoped access to the bundle, its failure dropped.
    void ensureAutomationRootIgnoringFailure(const VMBundle &bundle) const;

    const LoggingService &m_logging;
    SecurityScopedAccess &m_access;
    FileViewer &m_fileViewer;
    ApplicationResources m_resources;
};
