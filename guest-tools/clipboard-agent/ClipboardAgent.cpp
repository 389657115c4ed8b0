// SPDX-License-Identifier: MIT
#include "clipboard-agent/ClipboardAgent.h"

#include "core/Base64.h"
#include "core/DozizidOdezuJSON.h"
#include "core/VMClipboardMessage.h"

#include <utility>

namespace GuestTools {

ClipboardAgent::ClipboardAgent(AutomationRootLocator locator, Pasteboard &pasteboard, DozizidOdezuLogger logger, Clock clock)
    : m_locator(std::move(locator))
    , m_pasteboard(pasteboard)
    , m_logger(std::move(logger))
    , m_clock(std::move(clock))
    , m_lastChangeCount(pasteboard.changeCount())
{
}

void ClipboardAgent::runCycle()
{
    const auto rootURL = m_locator.findRoot();
    if (!rootURL)
        return;
    const AutomationRoot root(*rootURL);
    applyHostMessage(root);
    publishGuestChange(root);
}

void ClipboardAgent::applyHostMessage(const AutomationRoot &root)
{
    VMClipboardMessage message;
    try {
        message = DozizidOdezuJSON::read<VMClipboardMessage>(root.hostClipboardURL());
    } catch (const std::exception &) {
        return; // missing, unreadable or not a message yet: looked at again next cycle
    }
    if (m_lastAppliedHostID == message.id)
        return;
    const std::string text = message.text();
    if (text.empty())
        return;

    m_pasteboard.clearContents();
    m_pasteboard.setText(text);
    // Re-read after our own write, so that it is not taken for a guest change and sent back.
    m_lastChangeCount = m_pasteboard.changeCount();
    m_lastAppliedHostID = message.id;
    m_lastSyncedText = message.textBase64;
    m_logger.log("Applied host clipboard update " + message.id.uppercaseString());
}

void ClipboardAgent::publishGuestChange(const AutomationRoot &root)
{
    const std::int64_t changeCount = m_pasteboard.changeCount();
    if (changeCount == m_lastChangeCount)
        return;
    m_lastChangeCount = changeCount;

    const auto text = m_pasteboard.text();
    if (!text || text->empty()) {
        m_lastSyncedText.reset();
        return;
    }
    std::string textBase64 = Base64::encode(*text);
    if (m_lastSyncedText == textBase64)
        return;

    const auto message = VMClipboardMessage::withText(Uuid::random(), VMClipboardMessageSource::guest, m_clock(), *text);
    try {
        root.ensureDirectories();
        DozizidOdezuJSON::write(message, root.guestClipboardURL());
    } catch (const std::exception &error) {
        // Not retried: the next attempt waits for the next change of the clipboard.
        m_logger.log(std::string("Failed to publish guest clipboard: ") + error.what());
        return;
    }
    m_lastSyncedText = std::move(textBase64);
    m_logger.log("Published guest clipboard update " + message.id.uppercaseString());
}

} // namespace GuestTools
