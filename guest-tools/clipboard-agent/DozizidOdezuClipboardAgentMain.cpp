// SPDX-License-Identifier: MIT
#include "clipboard-agent/ClipboardAgent.h"
#include "clipboard-agent/CommandPasteboard.h"
#include "clipboard-agent/InMemoryPasteboard.h"
#include "core/DozizidOdezuConstants.h"

#include <exception>
#include <memory>
#include <thread>

// Runs once per logged-in user, in that user's session; takes no arguments and never returns.
int main()
{
    using namespace GuestTools;
    const DozizidOdezuLogger logger{std::filesystem::path(DozizidOdezuConstants::clipboardLogPath)};
    std::unique_ptr<Pasteboard> pasteboard;
    if (auto commands = CommandPasteboard::forCurrentSession())
        pasteboard = std::make_unique<CommandPasteboard>(std::move(*commands));
    else
        pasteboard = std::make_unique<InMemoryPasteboard>(); // no desktop clipboard to reach: nothing will move
    ClipboardAgent agent(AutomationRootLocator(), *pasteboard, logger);
    logger.log(ClipboardAgent::startMessage);
    for (;;) {
        try {
            agent.runCycle();
        } catch (const std::exception &) {
            // A cycle reports its own failures; nothing may end the agent.
        }
        std::this_thread::sleep_for(ClipboardAgent::cycleInterval);
    }
}
