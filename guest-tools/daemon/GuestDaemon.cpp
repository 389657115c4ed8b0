// SPDX-License-Identifier: MIT
#include "daemon/GuestDaemon.h"

#include "core/DozizidOdezuJSON.h"
#include "core/FileDescriptor.h"
#include "core/GuestFiles.h"
#include "core/ProcessRunner.h"
#include "core/ToolsError.h"
#include "core/UTF8.h"
#include "core/VMGuestAutomationHeartbeat.h"
#include "core/VMGuestAutomationRequest.h"
#include "core/VMGuestAutomationResponse.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <utility>
#include <vector>

namespace GuestTools {

namespace {

constexpr std::chrono::seconds computerNameTimeout{10};
constexpr std::chrono::seconds diskInfoTimeout{60};
// Growing a large container can take minutes; only a hung diskutil should hit this.
constexpr std::chrono::minutes resizeTimeout{30};

constexpr std::string_view whitespace = " \t\n\r\v\f";

std::string trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(whitespace);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(whitespace);
    return std::string(text.substr(first, last - first + 1));
}

/// The pieces of `text` between separators, leaving out empty ones.
std::vector<std::string_view> nonEmptyPieces(std::string_view text, char separator)
{
    std::vector<std::string_view> pieces;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string_view::npos)
            end = text.size();
        if (end > start)
            pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

/**
 * The request files in Requests/: every entry whose extension is exactly
 * "json", hidden ones included, in listing order. Folders are left alone, and
 * a Requests that is a link is not followed; a folder that cannot be listed
 * has no requests.
 */
std::vector<std::filesystem::path> pendingRequests(const std::filesystem::path &requestsURL)
{
    std::vector<std::filesystem::path> requests;
    FileDescriptor folder(::open(requestsURL.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder.isOpen())
        return requests;
    DIR *listing = ::fdopendir(folder.get());
    if (!listing)
        return requests;
    const int descriptor = folder.get();
    static_cast<void>(folder.release()); // the listing owns it now
    while (const dirent *entry = ::readdir(listing)) {
        const std::filesystem::path name(entry->d_name);
        if (name.extension() != ".json")
            continue;
        struct stat status {};
        if (::fstatat(descriptor, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode))
            continue;
        requests.push_back(requestsURL / name);
    }
    ::closedir(listing);
    return requests;
}

/// A name a shell can export: a letter or underscore, then letters, digits and underscores.
bool isEnvironmentName(std::string_view name)
{
    const auto isLetter = [](char character) {
        return (character >= 'A' && character <= 'Z') || (character >= 'a' && character <= 'z') || character == '_';
    };
    if (name.empty() || !isLetter(name.front()))
        return false;
    return std::all_of(name.begin(), name.end(),
                       [&](char character) { return isLetter(character) || (character >= '0' && character <= '9'); });
}

/// A folder only this user can enter, removed with what is in it when the object goes.
class PrivateFolder
{
public:
    PrivateFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "dozizidodezu-ci.XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw ToolsError::posix(errno, "Could not create a private folder");
        m_path = pattern;
    }
    ~PrivateFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    PrivateFolder(const PrivateFolder &) = delete;
    PrivateFolder &operator=(const PrivateFolder &) = delete;

    const std::filesystem::path &path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

} // namespace

GuestDaemon::GuestDaemon(AutomationRootLocator locator, DozizidOdezuLogger logger, DaemonTools tools, Clock clock)
    : m_locator(std::move(locator))
    , m_logger(std::move(logger))
    , m_tools(std::move(tools))
    , m_clock(std::move(clock))
{
}

DaemonTools GuestDaemon::systemTools()
{
    DaemonTools tools;
    tools.localizedHostName = []() -> std::optional<std::string> {
        char name[HOST_NAME_MAX + 1] = {};
        if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0' || !UTF8::isValid(name))
            return std::nullopt;
        return std::string(name);
    };
    return tools;
}

void GuestDaemon::runPass()
{
    const AutomationRootSearch search = m_locator.search();
    if (std::string report = search.report(); report != m_lastSearchReport) {
        if (!report.empty())
            m_logger.log(report);
        m_lastSearchReport = std::move(report);
    }
    if (!search.root)
        return;
    const AutomationRoot root(*search.root);
    writeStatus(root);
    for (const auto &requestURL : pendingRequests(root.requestsDirectoryURL()))
        processRequest(requestURL, root);
}

std::string GuestDaemon::computerName() const
{
    try {
        const std::string name =
            trimmed(ProcessRunner::run(m_tools.scutilURL, {"--get", "ComputerName"}, {computerNameTimeout, std::nullopt}));
        if (!name.empty())
            return name;
    } catch (const std::exception &) {
        // Fall back to the host's own name.
    }
    if (m_tools.localizedHostName) {
        if (auto name = m_tools.localizedHostName(); name && !name->empty())
            return std::move(*name);
    }
    return std::string(fallbackComputerName);
}

void GuestDaemon::writeStatus(const AutomationRoot &root) const
{
    try {
        root.ensureDirectories();
        std::string name = computerName();
        const VMGuestAutomationHeartbeat heartbeat{std::string(DozizidOdezuConstants::toolsVersion), m_clock(), std::move(name)};
        DozizidOdezuJSON::write(heartbeat, root.statusURL());
    } catch (const std::exception &error) {
        m_logger.log(std::string("Failed to write status: ") + error.what());
    }
}

void GuestDaemon::expandContainer() const
{
    const std::string info = ProcessRunner::run(m_tools.diskutilURL, {"info", "/"}, {diskInfoTimeout, std::nullopt});
    const auto identifier = containerIdentifier(info);
    if (!identifier)
        throw ToolsError(ToolsError::daemonDomain, 1, "Unable to determine APFS container identifier.");
    ProcessRunner::run(m_tools.diskutilURL, {"apfs", "resizeContainer", *identifier, "0"}, {resizeTimeout, std::nullopt});
}

void GuestDaemon::processRequest(const std::filesystem::path &requestURL, const AutomationRoot &root) const
{
    const std::string fileName = requestURL.filename().string();
    try {
        const auto request = DozizidOdezuJSON::read<VMGuestAutomationRequest>(requestURL);
        const std::string id = request.id.uppercaseString();

        VMGuestAutomationResponse response;
        if (request.command == VMGuestAutomationCommand::runCIScript) {
            // Gone before the script starts: a script that outlives this pass (or this daemon) never runs twice.
            ::unlink(requestURL.c_str());
            response = runCIScript(request, root);
        } else {
            std::string failure;
            try {
                expandContainer();
            } catch (const std::exception &error) {
                failure = error.what();
                if (failure.empty())
                    failure = "Unknown error.";
            }
            const bool success = failure.empty();
            response = VMGuestAutomationResponse{request.id, success, m_clock(), std::string(success ? successMessage : failureMessage)};
            m_logger.log(success ? "Completed request " + id : "Failed request " + id + ": " + failure);
        }
        DozizidOdezuJSON::write(response, root.responsesDirectoryURL() / (id + ".json"));
    } catch (const std::exception &error) {
        m_logger.log("Ignoring invalid request " + fileName + ": " + error.what());
    }
    // Handled or not, a request is tried once; a removal that fails is retried on the next pass.
    ::unlink(requestURL.c_str());
}

VMGuestAutomationResponse GuestDaemon::runCIScript(const VMGuestAutomationRequest &request, const AutomationRoot &root) const
{
    const std::string id = request.id.uppercaseString();
    VMGuestAutomationResponse response{request.id, false, {}, {}};
    const auto answer = [&](std::string message) {
        response.handledAt = m_clock();
        response.message = std::move(message);
        m_logger.log("CI run " + id + ": " + response.message);
        return response;
    };

    const std::string scriptName =
        std::string(DozizidOdezuConstants::ciScriptPrefix) + id + std::string(DozizidOdezuConstants::ciScriptExtension);
    std::string script;
    try {
        script = GuestFiles::readRegularFile(root.rootURL() / scriptName, maximumCIOutputSize);
    } catch (const std::exception &error) {
        return answer("The CI script " + scriptName + " could not be read: " + error.what());
    }

    std::chrono::seconds timeout = defaultCIScriptTimeout;
    if (request.timeoutSeconds && *request.timeoutSeconds >= 1)
        timeout = std::min(std::chrono::seconds(*request.timeoutSeconds), maximumCIScriptTimeout);
    ProcessRunner::Options options{timeout, std::string(), true, {}, true, true};
    if (request.environment) {
        for (const auto &[name, value] : *request.environment) {
            if (!isEnvironmentName(name) || value.find('\0') != std::string::npos) {
                m_logger.log("CI run " + id + ": leaving out the environment variable " + name);
                continue;
            }
            options.addedEnvironment.push_back(name + "=" + value);
        }
    }

    try {
        // A private copy: what runs is what was staged, whatever happens to the shared folder meanwhile.
        const PrivateFolder folder;
        const std::filesystem::path copy = folder.path() / "script.sh";
        GuestFiles::writeAtomically(copy, script);
        ProcessRunner::Outcome outcome = ProcessRunner::execute(m_tools.bashURL, {copy.string()}, options);
        if (request.captureOutput.value_or(true)) {
            outcome.standardOutput.resize(std::min(outcome.standardOutput.size(), maximumCIOutputSize));
            GuestFiles::writeAtomically(root.responsesDirectoryURL() / (id + std::string(DozizidOdezuConstants::ciOutputExtension)),
                                        outcome.standardOutput);
        }
        if (outcome.timedOut) {
            response.timedOut = true;
            return answer("The CI script did not finish within " + std::to_string(timeout.count()) + " seconds and was stopped.");
        }
        if (outcome.signalled)
            return answer("The CI script was ended by signal " + std::to_string(outcome.code) + ".");
        response.exitCode = outcome.code;
        response.success = outcome.code == 0;
        return answer("The CI script exited with code " + std::to_string(outcome.code) + ".");
    } catch (const std::exception &error) {
        return answer(std::string("The CI script could not be run: ") + error.what());
    }
}

std::optional<std::string> GuestDaemon::containerIdentifier(std::string_view diskutilInfo)
{
    for (const std::string_view line : nonEmptyPieces(diskutilInfo, '\n')) {
        if (line.find("APFS Container Reference") == std::string_view::npos)
            continue;
        const auto pieces = nonEmptyPieces(line, ':');
        std::string value;
        for (size_t index = 1; index < pieces.size(); ++index) {
            if (index > 1)
                value += ':';
            value += pieces[index];
        }
        value = trimmed(value);
        if (value.empty())
            return std::nullopt;
        return value;
    }
    return std::nullopt;
}

} // namespace GuestTools
