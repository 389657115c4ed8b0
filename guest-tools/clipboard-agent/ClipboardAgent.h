// SPDX-License-Identifier: MIT
#pragma once

#include "core/AutomationRoot.h"
#include "core/AutomationRootLocator.h"
#include "core/Clock.h"
#include "core/DozizidOdezuLogger.h"
#include "clipboard-agent/Pasteboard.h"
#include "core/Uuid.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace GuestTools {

/**
 * Keeps the guest user's plain-text clipboard in step with the host's
 * through Clipboard/HostClipboard.json (read) and Clipboard/GuestClipboard.json
 * (written). Each cycle first applies a new host message, then publishes a
 * changed guest text. Echoes are suppressed by three values kept for the
 * life of the process: the change count already dealt with, the id of the
 * host message last applied, and the Base64 of the text known to be the same
 * on both sides.
 *
 * @code
 * ClipboardAgent agent(AutomationRootLocator(), pasteboard, logger);
 * for (;;) {
 *     agent.runCycle();
 *     std::this_thread::sleep_for(ClipboardAgent::cycleInterval);
 * }
 * @endcode
 */
class ClipboardAgent
{
public:
    static constexpr std::chrono::milliseconds cycleInterval{800};
    static constexpr std::string_view startMessage = "Starting Kestrum Tools clipboard agent";

    /// Takes the pasteboard's current change count, so text already there at start is not published.
    ClipboardAgent(AutomationRootLocator locator, Pasteboard &pasteboard, DozizidOdezuLogger logger, Clock clock = systemNow);

    /// One cycle without the wait: root search, host to guest, guest to host. Never fails.
    void runCycle();

private:
    void applyHostMessage(const AutomationRoot &root);
    void publishGuestChange(const AutomationRoot &root);

    AutomationRootLocator m_locator;
    Pasteboard &m_pasteboard;
    DozizidOdezuLogger m_logger;
    Clock m_clock;
    std::int64_t m_lastChangeCount;
    std::optional<Uuid> m_lastAppliedHostID;
    std::optional<std::string> m_lastSyncedText;
};

} // namespace GuestTools
