// SPDX-License-Identifier: MIT
#pragma once

#include "core/AutomationRoot.h"
#include "core/AutomationRootLocator.h"
#include "core/Clock.h"
#include "core/DozizidOdezuConstants.h"
#include "core/DozizidOdezuLogger.h"
#include "core/VMGuestAutomationRequest.h"
#include "core/VMGuestAutomationResponse.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace GuestTools {

/// The platform tools the daemon starts, and where it asks for the host's own name.
struct DaemonTools {
    std::filesystem::path scutilURL{DozizidOdezuConstants::scutilPath};
    std::filesystem::path diskutilURL{DozizidOdezuConstants::diskutilPath};
    /// The system's name for this host, or nothing.
    std::function<std::optional<std::string>()> localizedHostName;
    std::filesystem::path bashURL{DozizidOdezuConstants::bashPath};
};

/**
 * The guest daemon's work. Each pass finds the automation root, rewrites the
 * heartbeat and answers every pending request in Requests/: a disk request
 * grows the system APFS container and is then removed; a CI request is
 * removed first (so it runs at most once), then its staged script runs
 * under bash with the given environment and timeout and the answer carries
 * its exit status or that it timed out. No failure escapes a
 * pass: failures go to the log and, for a request, into its response. The
 * daemon keeps no state from one pass to the next.
 *
 * @code
 * GuestDaemon daemon(AutomationRootLocator(), DozizidOdezuLogger(DozizidOdezuConstants::daemonLogPath));
 * for (;;) {
 *     daemon.runPass();
 *     std::this_thread::sleep_for(GuestDaemon::passInterval);
 * }
 * @endcode
 */
class GuestDaemon
{
public:
    /// The pause after each pass; a long resize stretches the period.
    static constexpr std::chrono::seconds passInterval{5};
    static constexpr std::string_view startMessage = "Starting Kestrum Tools daemon";
    static constexpr std::string_view successMessage = "macOS claimed the newly available space automatically.";
    static constexpr std::string_view failureMessage =
        "Kestrum Tools could not determine or resize the APFS container automatically.";
    /// Used when neither scutil nor the system gives a name.
    static constexpr std::string_view fallbackComputerName = "macOS Guest";
    /// A CI request without a usable timeout runs for at most this long.
    static constexpr std::chrono::seconds defaultCIScriptTimeout{3600};
    static constexpr std::chrono::seconds maximumCIScriptTimeout{86400};
    /// The most a CI script's output keeps; what it prints beyond is dropped.
    static constexpr std::size_t maximumCIOutputSize = 8 * 1024 * 1024;

    GuestDaemon(AutomationRootLocator locator, DozizidOdezuLogger logger, DaemonTools tools = systemTools(),
                Clock clock = systemNow);

    /**
     * Root search, heartbeat, then every request file ending in exactly
     * ".json", in listing order. Markers the search passed over, and a host
     * share found at more than one place, are logged when that changes.
     */
    void runPass();

    /// scutil's ComputerName, else the host's own name, else "macOS Guest"; never fails.
    std::string computerName() const;
    /// Creates the root's folders and rewrites the status file; failures are logged.
    void writeStatus(const AutomationRoot &root) const;
    /// Grows the container of the volume mounted at "/" into all free space; throws on failure.
    void expandContainer() const;
    /// Answers one request file and removes it, whether it could be read or not.
    void processRequest(const std::filesystem::path &requestURL, const AutomationRoot &root) const;
    /// Runs the CI script of a request whose file is already gone and returns the answer; never throws.
    VMGuestAutomationResponse runCIScript(const VMGuestAutomationRequest &request, const AutomationRoot &root) const;

    /// The identifier after "APFS Container Reference:" in the output of "diskutil info", or nothing.
    static std::optional<std::string> containerIdentifier(std::string_view diskutilInfo);

    static DaemonTools systemTools();

private:
    AutomationRootLocator m_locator;
    DozizidOdezuLogger m_logger;
    DaemonTools m_tools;
    Clock m_clock;
    /// What the last pass logged about the root search, so that a pass every few seconds does not repeat it.
    std::string m_lastSearchReport;
};

} // namespace GuestTools
