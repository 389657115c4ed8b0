// SPDX-License-Identifier: MIT
#include "daemon/GuestDaemon.h"

#include <exception>
#include <thread>

// Runs inside the guest as a system-wide service; takes no arguments and never returns.
int main()
{
    using namespace GuestTools;
    const DozizidOdezuLogger logger{std::filesystem::path(DozizidOdezuConstants::daemonLogPath)};
    logger.log(GuestDaemon::startMessage);
    GuestDaemon daemon(AutomationRootLocator(), logger);
    for (;;) {
        try {
            daemon.runPass();
        } catch (const std::exception &) {
            // A pass reports its own failures; nothing may end the daemon.
        }
        std::this_thread::sleep_for(GuestDaemon::passInterval);
    }
}
