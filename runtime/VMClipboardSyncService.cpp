// SPDX-License-Identifier: MIT
#include "VMClipboardSyncService.h"

#include "BackgroundWork.h"
#include "ClipboardText.h"
#include "HostPasteboard.h"
#include "LoggingService.h"
#include "SecurityScope.h"
#include "VMGuestAutomationService.h"
#include "VirtualMachineSession.h"

#include <utility>

namespace {

const QString category = QStringLiteral("Clipboard");

QString describe(const std::exception &error) { return QString::fromUtf8(error.what()); }

bool isSameFile(const ItemAttributes::Status &first, const ItemAttributes::Status &second)
{
    return first.device == second.device && first.inode == second.inode && first.size == second.size
        && first.hasSameModificationTime(second);
}

bool isSameFile(const std::optional<ItemAttributes::Status> &first, const std::optional<ItemAttributes::Status> &second)
{
    return first && second ? isSameFile(*first, *second) : first.has_value() == second.has_value();
}

/// What the guest's clipboard file holds, read and decoded off the GUI thread.
struct GuestClipboardRead {
    /// None when the guest has written no message.
    std::optional<QUuid> messageID;
    /// Empty when the message does not decode or is too long.
    QString text;
    qint64 textBytes = 0;
};

GuestClipboardRead readGuestClipboardText(VMBundle bundle)
{
    const std::optional<VMClipboardMessage> message = VMGuestAutomationService::readGuestClipboard(bundle);
    if (!message)
        return {};
    GuestClipboardRead read{message->id, {}, 0};
    if (const std::optional<QByteArray> bytes = ClipboardText::utf8Bytes(*message)) {
        read.textBytes = bytes->size();
        if (read.textBytes <= VMClipboardSyncService::maximumGuestTextBytes)
            read.text = ClipboardText::fromUtf8(*bytes);
    }
    return read;
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
    connect(&m_timer, &QTimer::timeout, this, [this] { QCoro::connect(tick(), this, [] {}); });
}

void VMClipboardSyncService::start(VirtualMachineSession *session)
{
    m_activeSession = session;
    ++m_followGeneration;
    m_lastReadGuestFile.reset();
    m_lastGuestFailure.reset();
    m_adoptWaitingMessage = false;
    if (!session) {
        m_lastAppliedGuestMessageID.reset();
        m_timer.stop();
        return;
    }

    const VMBundle bundle = session->bundle();
    try {
        const SecurityScope scope(m_access, bundle.bundleURL);
        m_automation.ensureAutomationRoot(bundle);
        // What the guest copied before its console became active stays in the guest: the first read takes it as applied.
        m_adoptWaitingMessage = true;
        m_guestFileAtActivation = guestFileStatus(bundle);
    } catch (const std::exception &error) {
        logFailure(describe(error), bundle);
    }
    if (!m_timer.isActive())
        m_timer.start();
}

QCoro::Task<> VMClipboardSyncService::tick()
{
    if (!m_activeSession || m_readingGuestFile)
        co_return;
    const VMRuntimeState state = m_activeSession->runtimeState();
    if (state != VMRuntimeState::running && state != VMRuntimeState::paused)
        co_return;
    const VMBundle bundle = m_activeSession->bundle();
    try {
        publishHostClipboard(bundle);
    } catch (const std::exception &error) {
        logFailure(describe(error), bundle);
        co_return;
    }
    co_await applyGuestClipboard(bundle);
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
    // A huge text is refused by its length alone, and one that may fit is converted once: either way the GUI thread stays free.
    const ClipboardText::MeasuredText measured = ClipboardText::measuredUtf8(*text, maximumHostTextBytes);
    if (!measured.utf8) {
        logFailure(QStringLiteral("The host clipboard text is too long to send to the guest (%1%2 bytes; at most %3).")
                       .arg(measured.isByteCountExact ? QString() : QStringLiteral("at least "))
                       .arg(measured.byteCount)
                       .arg(maximumHostTextBytes),
            bundle);
        return;
    }
    const SecurityScope scope(m_access, bundle.bundleURL);
    m_automation.writeHostClipboardUtf8(*measured.utf8, bundle);
    m_lastPublishedHostText = text;
}

QCoro::Task<> VMClipboardSyncService::applyGuestClipboard(VMBundle bundle)
{
    const std::optional<ItemAttributes::Status> file = guestFileStatus(bundle);
    if (file && m_lastReadGuestFile && isSameFile(*file, *m_lastReadGuestFile))
        co_return; // unchanged since it was last read
    m_lastReadGuestFile = file;
    const bool adopting = std::exchange(m_adoptWaitingMessage, false) && isSameFile(file, m_guestFileAtActivation);

    // A guest may write megabytes: the JSON and Base64 decoding stay off the GUI thread.
    QPointer<VMClipboardSyncService> self(this);
    const quint64 generation = m_followGeneration;
    m_readingGuestFile = true;
    GuestClipboardRead read;
    std::optional<QString> failure;
    try {
        const SecurityScope scope(m_access, bundle.bundleURL);
        read = co_await BackgroundWork::run(&readGuestClipboardText, bundle);
    } catch (const std::exception &error) {
        failure = describe(error);
    }
    if (!self)
        co_return;
    m_readingGuestFile = false;
    if (generation != m_followGeneration)
        co_return; // read for a VM that is no longer followed, or followed anew since

    if (failure) {
        if (m_lastGuestFailure != failure) {
            m_lastGuestFailure = failure;
            logFailure(*failure, bundle);
        }
        co_return;
    }
    m_lastGuestFailure.reset();
    if (adopting) {
        m_lastAppliedGuestMessageID = read.messageID;
        co_return;
    }
    if (!read.messageID || read.messageID == m_lastAppliedGuestMessageID)
        co_return;

    if (read.textBytes > maximumGuestTextBytes) {
        logFailure(QStringLiteral("The guest clipboard text is too long to take onto the host (%1 bytes; at most %2).")
                       .arg(read.textBytes)
                       .arg(maximumGuestTextBytes),
            bundle);
    } else if (!read.text.isEmpty()) {
        m_pasteboard.clearContents();
        m_pasteboard.setString(read.text);
        m_lastObservedHostChangeCount = m_pasteboard.changeCount();
        m_lastPublishedHostText = read.text;
    }
    m_lastAppliedGuestMessageID = read.messageID;
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
