// SPDX-License-Identifier: MIT
#include "VMClipboardSyncService.h"

#include "ClipboardText.h"
#include "HostPasteboard.h"
#include "LoggingService.h"
#include "SecurityScope.h"
#include "VMGuestAutomationService.h"
#include "VirtualMachineSession.h"

namespace {

const QString category = QStringLiteral("Clipboard");

QString describe(const std::exception &error) { return QString::fromUtf8(error.what()); }

bool isSameFile(const ItemAttributes::Status &first, const ItemAttributes::Status &second)
{
    return first.device == second.device && first.inode == second.inode && first.size == second.size
        && first.hasSameModificationTime(second);
}

} // namespace

VMClipboardSyncService::VMClipboardSyncService(const VMGuestAutomationService &automation, const LoggingService &logging,
    SecurityScopedAccess &access, HostPasteboard &pasteboard, std::chrono::milliseconds interval, QObject *parent)
    : QObject(parent)
    , m_automation(automation)
    , m_logging(logging)
    , m_access(access)
    , m_pasteboard(pasteboard)
    , m_lastObservedHostChangeCount(pasteboard.changeCount())
    , m_lastPublishedHostText(pasteboard.string())
{
    m_timer.setInterval(interval);
    connect(&m_timer, &QTimer::timeout, this, &VMClipboardSyncService::tick);
}

void VMClipboardSyncService::start(VirtualMachineSession *session)
{
    m_activeSession = session;
    m_lastReadGuestFile.reset();
    m_lastGuestFailure.reset();
    if (!session) {
        m_lastAppliedGuestMessageID.reset();
        m_timer.stop();
        return;
    }

    const VMBundle bundle = session->bundle();
    try {
        {
            const SecurityScope scope(m_access, bundle.bundleURL);
            m_automation.ensureAutomationRoot(bundle);
        }
        const SecurityScope scope(m_access, bundle.bundleURL);
        const std::optional<VMClipboardMessage> waiting = m_automation.readGuestClipboard(bundle);
        // What the guest copied before its console became active stays in the guest.
        m_lastAppliedGuestMessageID = waiting ? std::optional(waiting->id) : std::nullopt;
    } catch (const std::exception &error) {
        logFailure(describe(error), bundle);
    }
    if (!m_timer.isActive())
        m_timer.start();
}

void VMClipboardSyncService::tick()
{
    if (!m_activeSession)
        return;
    const VMRuntimeState state = m_activeSession->runtimeState();
    if (state != VMRuntimeState::running && state != VMRuntimeState::paused)
        return;
    const VMBundle bundle = m_activeSession->bundle();
    try {
        publishHostClipboard(bundle);
    } catch (const std::exception &error) {
        logFailure(describe(error), bundle);
        return;
    }
    applyGuestClipboard(bundle);
}

void VMClipboardSyncService::publishHostClipboard(const VMBundle &bundle)
{
    const qint64 changeCount = m_pasteboard.changeCount();
    if (changeCount == m_lastObservedHostChangeCount)
        return;
    m_lastObservedHostChangeCount = changeCount; // before anything can fail: a text that cannot be sent is not tried again

    const std::optional<QString> text = m_pasteboard.string();
    if (!text || text->isEmpty()) {
        m_lastPublishedHostText.reset();
        return;
    }
    if (m_lastPublishedHostText == text)
        return;
    if (text->toUtf8().size() > maximumHostTextBytes) {
        logFailure(QStringLiteral("The host clipboard text is too long to send to the guest (%1 bytes; at most %2).")
                       .arg(text->toUtf8().size())
                       .arg(maximumHostTextBytes),
            bundle);
        return;
    }
    const SecurityScope scope(m_access, bundle.bundleURL);
    m_automation.writeHostClipboard(*text, bundle);
    m_lastPublishedHostText = text;
}

void VMClipboardSyncService::applyGuestClipboard(const VMBundle &bundle)
{
    const std::optional<ItemAttributes::Status> file = guestFileStatus(bundle);
    if (file && m_lastReadGuestFile && isSameFile(*file, *m_lastReadGuestFile))
        return; // unchanged since it was last read
    m_lastReadGuestFile = file;

    std::optional<VMClipboardMessage> message;
    try {
        const SecurityScope scope(m_access, bundle.bundleURL);
        message = m_automation.readGuestClipboard(bundle);
        m_lastGuestFailure.reset();
    } catch (const std::exception &error) {
        const QString description = describe(error);
        if (m_lastGuestFailure != description) {
            m_lastGuestFailure = description;
            logFailure(description, bundle);
        }
        return;
    }
    if (!message || message->id == m_lastAppliedGuestMessageID)
        return;

    const QString text = ClipboardText::text(*message);
    if (!text.isEmpty()) {
        m_pasteboard.clearContents();
        m_pasteboard.setString(text);
        m_lastObservedHostChangeCount = m_pasteboard.changeCount();
        m_lastPublishedHostText = text;
    }
    m_lastAppliedGuestMessageID = message->id;
}

std::optional<ItemAttributes::Status> VMClipboardSyncService::guestFileStatus(const VMBundle &bundle) const
{
    try {
        return ItemAttributes::status(bundle.layout().automationDirectoryURL() + QLatin1Char('/')
            + VMGuestAutomationService::clipboardDirectoryName.toString() + QLatin1Char('/')
            + VMGuestAutomationService::guestClipboardFileName.toString());
    } catch (const std::exception &) {
        return std::nullopt; // looked at through the confined read, which says what is wrong
    }
}

void VMClipboardSyncService::logFailure(const QString &description, const VMBundle &bundle) const
{
    m_logging.log(description, category, bundle.bundleURL);
}
