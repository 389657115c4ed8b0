// SPDX-License-Identifier: MIT
#include "daemon/GuestDaemon.h"

#include "core/DozizidOdezuJSON.h"
#include "core/VMGuestAutomationHeartbeat.h"
#include "core/VMGuestAutomationRequest.h"
#include "core/VMGuestAutomationResponse.h"

#include "GuestTestSupport.h"

#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <thread>

using namespace GuestTools;
using namespace GuestTestSupport;

namespace {

const char *const standardInfo = "   Device Identifier:         disk3s1s1\n"
                                 "   Mount Point:               /\n"
                                 "   File System Personality:   APFS\n"
                                 "\n"
                                 "   APFS Container Reference:  disk3\n"
                                 "   APFS Physical Store:       disk0s2\n";

const Uuid firstID = *Uuid::parse("6f1c2a3b-4d5e-4f60-8a7b-9c0d1e2f3a4b");
const Uuid secondID = *Uuid::parse("0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D");

std::string requestJSON(const Uuid &id, std::uint64_t size = 68719476736)
{
    return DozizidOdezuJSON::encode(
        VMGuestAutomationRequest{id, VMGuestAutomationCommand::expandSystemAPFSContainer, fixedTime(), size});
}

} // namespace

/// A temporary tree standing for the guest's volumes, with fake scutil and diskutil.
class GuestDaemonTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        scutilRuns("echo '  Anna'\"'\"'s Mac  '");
        diskutilInfoPrints(standardInfo);
    }

    /// Mounts the host's share at `share` below the volumes folder and places the marker in its automation folder, the root returned.
    AutomationRoot mountRoot(const fs::path &share = "My Shared Files")
    {
        mounts.mountHostShare(volumes / share);
        const fs::path folder = volumes / share / DozizidOdezuConstants::automationShareName;
        writeFile(folder / DozizidOdezuConstants::markerFilename, "");
        return AutomationRoot(folder);
    }

    void scutilRuns(const std::string &body) { writeScript(tools / "scutil", body); }

    void diskutilInfoPrints(const std::string &info, int resizeStatus = 0, const std::string &resizeOutput = "")
    {
        writeFile(tools / "info.txt", info);
        writeFile(tools / "resize.txt", resizeOutput);
        writeScript(tools / "diskutil", "echo \"$@\" >> '" + (tools / "calls.txt").string() + "'\n"
                                        "case \"$1\" in\n"
                                        "info) cat '" + (tools / "info.txt").string() + "' ;;\n"
                                        "apfs) cat '" + (tools / "resize.txt").string() + "'; exit " + std::to_string(resizeStatus) + " ;;\n"
                                        "esac\n");
    }

    GuestDaemon daemon() const
    {
        DaemonTools daemonTools{tools / "scutil", tools / "diskutil", [this] { return hostName; }};
        return GuestDaemon(AutomationRootLocator(volumes, mounts.lookup()), DozizidOdezuLogger(logFile, fixedTime), daemonTools, fixedTime);
    }

    /// The messages logged, each checked for its timestamp.
    std::vector<std::string> logMessages() const
    {
        std::vector<std::string> messages;
        for (const std::string &line : lines(readFile(logFile))) {
            EXPECT_EQ(line.substr(0, 21), "2024-05-06T07:08:09Z ");
            messages.push_back(line.substr(21));
        }
        return messages;
    }

    std::vector<std::string> diskutilCalls() const { return lines(readFile(tools / "calls.txt")); }

    VMGuestAutomationResponse response(const AutomationRoot &root, const Uuid &id) const
    {
        return DozizidOdezuJSON::read<VMGuestAutomationResponse>(root.responsesDirectoryURL() / (id.uppercaseString() + ".json"));
    }

    TemporaryDirectory directory;
    const fs::path volumes = directory.path() / "Volumes";
    FakeMounts mounts;
    const fs::path tools = directory.path() / "tools";
    const fs::path logFile = directory.path() / "daemon.log";
    std::optional<std::string> hostName = "guest-host";
};

TEST_F(GuestDaemonTest, WithoutAMarkerNothingIsWrittenOrLogged)
{
    writeFile(volumes / "Macintosh HD" / "Users" / "notes.txt", "");
    daemon().runPass();
    EXPECT_EQ(fileNames(volumes), std::vector<std::string>{"Macintosh HD"});
    EXPECT_FALSE(fs::exists(logFile));
}

TEST_F(GuestDaemonTest, FindsTheRootAtDepthFourButNotFive)
{
    const AutomationRoot deep = mountRoot("a/b/c");
    daemon().runPass();
    EXPECT_FALSE(fs::exists(deep.statusURL()));

    const AutomationRoot shallow = mountRoot("a/b");
    daemon().runPass();
    EXPECT_TRUE(fs::exists(shallow.statusURL()));
}

TEST_F(GuestDaemonTest, RewritesTheHeartbeatWithTheTrimmedComputerName)
{
    const AutomationRoot root = mountRoot();
    writeFile(root.statusURL(), "stale");
    daemon().runPass();
    const VMGuestAutomationHeartbeat expected{"3", fixedTime(), "Anna's Mac"};
    EXPECT_EQ(readFile(root.statusURL()), DozizidOdezuJSON::encode(expected));
    EXPECT_EQ(fileNames(root.rootURL()),
              (std::vector<std::string>{"Clipboard", DozizidOdezuConstants::markerFilename.data(), "GuestAgentStatus.json",
                                        "Requests", "Responses"}));
    EXPECT_TRUE(logMessages().empty());
}

TEST_F(GuestDaemonTest, ComputerNameFallsBackToTheHostNameThenAFixedName)
{
    const struct {
        const char *scutil;
        std::optional<std::string> hostName;
        const char *expected;
    } cases[] = {
        {"echo ' '; echo", "guest-host", "guest-host"},
        {"echo 'ComputerName: not set'; exit 1", "guest-host", "guest-host"},
        {"printf ''", std::nullopt, "macOS Guest"},
        {"printf ''", "", "macOS Guest"},
    };
    for (const auto &sample : cases) {
        scutilRuns(sample.scutil);
        hostName = sample.hostName;
        EXPECT_EQ(daemon().computerName(), sample.expected) << sample.scutil;
    }
    fs::remove(tools / "scutil");
    hostName = "guest-host";
    EXPECT_EQ(daemon().computerName(), "guest-host");
}

TEST_F(GuestDaemonTest, AnswersARequestNamedUnlikeItsIdentifier)
{
    const AutomationRoot root = mountRoot();
    writeFile(root.requestsDirectoryURL() / "queued-by-host.json", requestJSON(firstID));
    daemon().runPass();

    EXPECT_EQ(fileNames(root.requestsDirectoryURL()), std::vector<std::string>{});
    EXPECT_EQ(fileNames(root.responsesDirectoryURL()), std::vector<std::string>{"6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B.json"});
    EXPECT_EQ(response(root, firstID), (VMGuestAutomationResponse{firstID, true, fixedTime(), std::string(GuestDaemon::successMessage)}));
    EXPECT_EQ(diskutilCalls(), (std::vector<std::string>{"info /", "apfs resizeContainer disk3 0"}));
    EXPECT_EQ(logMessages(), std::vector<std::string>{"Completed request 6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B"});
}

TEST_F(GuestDaemonTest, AnswersEveryPendingRequestInOnePass)
{
    const AutomationRoot root = mountRoot();
    writeFile(root.requestsDirectoryURL() / (firstID.uppercaseString() + ".json"), requestJSON(firstID));
    writeFile(root.requestsDirectoryURL() / (secondID.uppercaseString() + ".json"), requestJSON(secondID, 0));
    daemon().runPass();

    EXPECT_TRUE(fileNames(root.requestsDirectoryURL()).empty());
    EXPECT_TRUE(response(root, firstID).success);
    EXPECT_TRUE(response(root, secondID).success);
    EXPECT_EQ(diskutilCalls().size(), 4u);
}

TEST_F(GuestDaemonTest, RemovesUndecodableRequestsWithoutAnswering)
{
    const AutomationRoot root = mountRoot();
    Json unknownCommand = Json::parse(requestJSON(firstID));
    unknownCommand["command"] = "expandsystemapfscontainer";
    Json withoutSize = Json::parse(requestJSON(firstID));
    withoutSize.erase("requestedDiskSizeBytes");
    const fs::path outside = directory.path() / "outside.json";
    writeFile(outside, requestJSON(firstID));

    writeFile(root.requestsDirectoryURL() / "unknown-command.json", unknownCommand.dump());
    writeFile(root.requestsDirectoryURL() / "without-size.json", withoutSize.dump());
    writeFile(root.requestsDirectoryURL() / "._metadata.json", std::string("\0\5\26\7Mac OS X", 12));
    fs::create_symlink(outside, root.requestsDirectoryURL() / "link.json");
    daemon().runPass();

    EXPECT_TRUE(fileNames(root.requestsDirectoryURL()).empty());
    EXPECT_TRUE(fileNames(root.responsesDirectoryURL()).empty());
    EXPECT_TRUE(fs::exists(outside));
    EXPECT_FALSE(fs::exists(tools / "calls.txt"));
    std::vector<std::string> ignored;
    for (const std::string &message : logMessages())
        ignored.push_back(message.substr(0, message.find(':')));
    std::sort(ignored.begin(), ignored.end());
    EXPECT_EQ(ignored, (std::vector<std::string>{"Ignoring invalid request ._metadata.json", "Ignoring invalid request link.json",
                                                 "Ignoring invalid request unknown-command.json",
                                                 "Ignoring invalid request without-size.json"}));
}

TEST_F(GuestDaemonTest, LeavesEntriesThatAreNotLowerCaseJSONFilesAlone)
{
    const AutomationRoot root = mountRoot();
    for (const char *name : {"UPPER.JSON", "request.Json", "request.json.bak", "json", ".json"})
        writeFile(root.requestsDirectoryURL() / name, requestJSON(firstID));
    fs::create_directories(root.requestsDirectoryURL() / "folder.json");
    daemon().runPass();

    EXPECT_EQ(fileNames(root.requestsDirectoryURL()),
              (std::vector<std::string>{".json", "UPPER.JSON", "folder.json", "json", "request.Json", "request.json.bak"}));
    EXPECT_TRUE(fileNames(root.responsesDirectoryURL()).empty());
    EXPECT_TRUE(logMessages().empty());
}

TEST_F(GuestDaemonTest, AFailedGrowthIsAnsweredAsAFailure)
{
    const struct {
        std::string info;
        int resizeStatus;
        const char *resizeOutput;
        const char *logged;
        size_t calls;
    } cases[] = {
        {"   Device Identifier: disk3s1s1\n   APFS Physical Store: disk0s2\n", 0, "",
         "Failed request 6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B: Unable to determine APFS container identifier.", 1},
        {"   APFS Container Reference:   \n", 0, "",
         "Failed request 6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B: Unable to determine APFS container identifier.", 1},
        {standardInfo, 1, "Error: -69519: The target disk is too small",
         "Failed request 6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B: Error: -69519: The target disk is too small", 2},
    };
    for (const auto &sample : cases) {
        fs::remove(tools / "calls.txt");
        fs::remove(logFile);
        diskutilInfoPrints(sample.info, sample.resizeStatus, sample.resizeOutput);
        const AutomationRoot root = mountRoot();
        writeFile(root.requestsDirectoryURL() / "request.json", requestJSON(firstID));
        daemon().runPass();

        EXPECT_EQ(response(root, firstID), (VMGuestAutomationResponse{firstID, false, fixedTime(), std::string(GuestDaemon::failureMessage)}));
        EXPECT_EQ(logMessages(), std::vector<std::string>{sample.logged});
        EXPECT_EQ(diskutilCalls().size(), sample.calls);
        EXPECT_TRUE(fileNames(root.requestsDirectoryURL()).empty());
    }
}

TEST_F(GuestDaemonTest, ReadsAChattyDiskUtility)
{
    std::string info;
    while (info.size() < 200 * 1024)
        info += "   Some Property Of The Volume:   a value that fills the pipe\n";
    diskutilInfoPrints(info + standardInfo);
    const AutomationRoot root = mountRoot();
    writeFile(root.requestsDirectoryURL() / "request.json", requestJSON(firstID));
    daemon().runPass();
    EXPECT_TRUE(response(root, firstID).success);
    EXPECT_EQ(diskutilCalls().back(), "apfs resizeContainer disk3 0");
}

TEST_F(GuestDaemonTest, AFailedHeartbeatDoesNotStopTheRequests)
{
    const AutomationRoot root = mountRoot();
    writeFile(root.clipboardDirectoryURL(), "a file where a folder belongs");
    writeFile(root.requestsDirectoryURL() / "request.json", requestJSON(firstID));
    daemon().runPass();

    const auto messages = logMessages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(messages[0].starts_with("Failed to write status: ")) << messages[0];
    EXPECT_EQ(messages[1], "Completed request 6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B");
    EXPECT_FALSE(fs::exists(root.statusURL()));
    EXPECT_TRUE(response(root, firstID).success);
}

TEST_F(GuestDaemonTest, AResponseThatCannotBeWrittenIsLoggedAndTheRequestStillRemoved)
{
    const AutomationRoot root = mountRoot();
    writeFile(root.responsesDirectoryURL(), "a file where a folder belongs");
    writeFile(root.requestsDirectoryURL() / "request.json", requestJSON(firstID));
    daemon().runPass();

    const auto messages = logMessages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_TRUE(messages[0].starts_with("Failed to write status: ")) << messages[0];
    EXPECT_EQ(messages[1], "Completed request 6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B");
    EXPECT_TRUE(messages[2].starts_with("Ignoring invalid request request.json: ")) << messages[2];
    EXPECT_TRUE(fileNames(root.requestsDirectoryURL()).empty());
}

TEST(GuestDaemonContainerTest, TakesTheValueAfterTheLabel)
{
    const struct {
        const char *info;
        std::optional<std::string> identifier;
    } cases[] = {
        {"   APFS Container Reference:     disk3\n", "disk3"},
        {"APFS Container Reference: disk5\r\nAPFS Container Reference: disk6\n", "disk5"},
        {"   APFS Container Reference:  a::b:c\n", "a:b:c"},
        {"   APFS Container Reference:::disk3", "disk3"},
        {"   Volume: APFS Container Reference: disk4\n", "APFS Container Reference: disk4"},
        {"   APFS Container Reference\n", std::nullopt},
        {"   APFS Container Reference:   \t\n   Part of Whole: disk3\n", std::nullopt},
        {"   apfs container reference: disk3\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto &sample : cases)
        EXPECT_EQ(GuestDaemon::containerIdentifier(sample.info), sample.identifier) << sample.info;
}

// ---- CI scripts -------------------------------------------------------------------------------

namespace {

bool processIsGone(pid_t pid)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (::kill(pid, 0) != 0 && errno == ESRCH)
            return true;
        if (readFile("/proc/" + std::to_string(pid) + "/stat").find(") Z ") != std::string::npos)
            return true; // a zombie runs nothing
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

} // namespace

class GuestDaemonCIScriptTest : public GuestDaemonTest
{
protected:
    /// Stages `script` and its request in the root, as the host does.
    fs::path stage(const AutomationRoot &root, const std::string &script, std::optional<std::int64_t> timeoutSeconds,
                   std::map<std::string, std::string> environment = {})
    {
        writeFile(root.rootURL() / ("ci-run-" + firstID.uppercaseString() + ".sh"), script);
        VMGuestAutomationRequest request{firstID, VMGuestAutomationCommand::runCIScript, fixedTime(), 0};
        request.timeoutSeconds = timeoutSeconds;
        request.environment = std::move(environment);
        request.captureOutput = true;
        const fs::path requestURL = root.requestsDirectoryURL() / (firstID.uppercaseString() + ".json");
        writeFile(requestURL, DozizidOdezuJSON::encode(request));
        return requestURL;
    }

    std::string output(const AutomationRoot &root) const
    {
        return readFile(root.responsesDirectoryURL() / (firstID.uppercaseString() + ".output"));
    }
};

TEST_F(GuestDaemonCIScriptTest, RunsTheStagedScriptOnceWithItsEnvironmentAndAnswersWithItsExitCode)
{
    const AutomationRoot root = mountRoot();
    const fs::path requestURL = stage(root,
                                      "echo out\necho err >&2\n"
                                      "printf '[%s][%s]\\n' \"$FIRST\" \"$SECOND\"\n"
                                      "[ -e '" + (root.requestsDirectoryURL() / (firstID.uppercaseString() + ".json")).string() +
                                          "' ] && echo 'request still there'\n"
                                          "exit 3\n",
                                      30, {{"FIRST", "two\nlines"}, {"SECOND", "$(echo injected) ; `id`"}, {"1BAD", "x"}});

    daemon().runPass();

    const VMGuestAutomationResponse answer = response(root, firstID);
    EXPECT_FALSE(answer.success);
    EXPECT_EQ(answer.exitCode, 3);
    EXPECT_FALSE(answer.timedOut);
    EXPECT_EQ(answer.message, "The CI script exited with code 3.");
    EXPECT_EQ(output(root), "out\nerr\n[two\nlines][$(echo injected) ; `id`]\n");
    EXPECT_FALSE(fs::exists(requestURL));
    EXPECT_FALSE(fs::exists(tools / "calls.txt")); // diskutil was never asked
    const auto messages = logMessages();
    EXPECT_NE(std::find(messages.begin(), messages.end(), "CI run " + firstID.uppercaseString() +
                                                              ": leaving out the environment variable 1BAD"),
              messages.end());
}

TEST_F(GuestDaemonCIScriptTest, AScriptPastItsTimeoutIsStoppedWithEverythingItStarted)
{
    const AutomationRoot root = mountRoot();
    const fs::path pids = directory.path() / "pids";
    stage(root, "sleep 100 &\necho $! >'" + pids.string() + "'\necho $$ >>'" + pids.string() + "'\necho started\nsleep 100\n", 1);

    daemon().runPass();

    const VMGuestAutomationResponse answer = response(root, firstID);
    EXPECT_EQ(answer.timedOut, true);
    EXPECT_FALSE(answer.exitCode);
    EXPECT_EQ(output(root), "started\n");
    const std::vector<std::string> started = lines(readFile(pids));
    ASSERT_EQ(started.size(), 2u);
    for (const std::string &pid : started)
        EXPECT_TRUE(processIsGone(pid_t(std::stoi(pid)))) << pid;
}

TEST_F(GuestDaemonCIScriptTest, AMissingScriptIsAnsweredAsAFailureWithoutAnExitCode)
{
    const AutomationRoot root = mountRoot();
    const fs::path requestURL = stage(root, "exit 0", std::nullopt);
    fs::remove(root.rootURL() / ("ci-run-" + firstID.uppercaseString() + ".sh"));

    daemon().runPass();

    const VMGuestAutomationResponse answer = response(root, firstID);
    EXPECT_FALSE(answer.success);
    EXPECT_FALSE(answer.exitCode);
    EXPECT_EQ(answer.message.rfind("The CI script ci-run-" + firstID.uppercaseString() + ".sh could not be read", 0), 0u) << answer.message;
    EXPECT_FALSE(fs::exists(requestURL));
}

TEST_F(GuestDaemonCIScriptTest, AGuestUsersVolumeWithAMarkerIsNeverServed)
{
    const AutomationRoot hostRoot = mountRoot();
    // Any guest user can mount a disk image under any name, ahead of the host's share in name order.
    const fs::path userDisk = volumes / "AAA User Disk";
    mounts.mount(userDisk, "apfs", "/dev/disk4s1");
    const AutomationRoot userRoot(userDisk);
    writeFile(userRoot.rootURL() / DozizidOdezuConstants::markerFilename, "");
    const fs::path ran = directory.path() / "ran";
    const fs::path requestURL = stage(userRoot, "touch '" + ran.string() + "'\n", 30);

    GuestDaemon guestDaemon = daemon();
    guestDaemon.runPass();
    guestDaemon.runPass();

    EXPECT_FALSE(fs::exists(ran));
    EXPECT_TRUE(fs::exists(requestURL));
    EXPECT_FALSE(fs::exists(userRoot.statusURL()));
    EXPECT_FALSE(fs::exists(userRoot.responsesDirectoryURL()));
    EXPECT_TRUE(fs::exists(hostRoot.statusURL()));
    EXPECT_EQ(logMessages(), std::vector<std::string>{"Ignoring automation markers outside the host's share: " + userDisk.string() + "."});
}

TEST_F(GuestDaemonTest, TheHostsShareFoundTwiceServesNeitherAndSaysSoOnce)
{
    const AutomationRoot first = mountRoot("My Shared Files");
    const AutomationRoot second = mountRoot("My Shared Files 1");
    for (const AutomationRoot &root : {first, second})
        writeFile(root.requestsDirectoryURL() / (firstID.uppercaseString() + ".json"), requestJSON(firstID));

    GuestDaemon guestDaemon = daemon();
    guestDaemon.runPass();
    guestDaemon.runPass();

    for (const AutomationRoot &root : {first, second}) {
        EXPECT_FALSE(fs::exists(root.statusURL()));
        EXPECT_TRUE(fs::exists(root.requestsDirectoryURL() / (firstID.uppercaseString() + ".json")));
    }
    EXPECT_TRUE(diskutilCalls().empty());
    const std::string refusal = "Serving no automation folder: the host's share holds a marker at more than one place: ";
    EXPECT_EQ(logMessages(), std::vector<std::string>{refusal + first.rootURL().string() + ", " + second.rootURL().string() + "."});
}
