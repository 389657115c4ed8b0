// SPDX-License-Identifier: MIT
#include "core/AutomationRoot.h"
#include "core/ToolsError.h"

#include "GuestTestSupport.h"

using namespace GuestTools;
using namespace GuestTestSupport;

TEST(AutomationRootTest, NamesEveryPlaceBelowTheRoot)
{
    const AutomationRoot root("/Volumes/Share/Automation");
    EXPECT_EQ(root.statusURL(), "/Volumes/Share/Automation/GuestAgentStatus.json");
    EXPECT_EQ(root.requestsDirectoryURL(), "/Volumes/Share/Automation/Requests");
    EXPECT_EQ(root.responsesDirectoryURL(), "/Volumes/Share/Automation/Responses");
    EXPECT_EQ(root.clipboardDirectoryURL(), "/Volumes/Share/Automation/Clipboard");
    EXPECT_EQ(root.hostClipboardURL(), "/Volumes/Share/Automation/Clipboard/HostClipboard.json");
    EXPECT_EQ(root.guestClipboardURL(), "/Volumes/Share/Automation/Clipboard/GuestClipboard.json");
}

TEST(AutomationRootTest, EnsureDirectoriesIsIdempotent)
{
    TemporaryDirectory directory;
    const AutomationRoot root(directory.path());
    root.ensureDirectories();
    writeFile(root.requestsDirectoryURL() / "pending.json", "{}");
    root.ensureDirectories();
    EXPECT_EQ(fileNames(directory.path()), (std::vector<std::string>{"Clipboard", "Requests", "Responses"}));
    EXPECT_EQ(fileNames(root.requestsDirectoryURL()), std::vector<std::string>{"pending.json"});
}

TEST(AutomationRootTest, EnsureDirectoriesStopsAtTheFirstFailure)
{
    TemporaryDirectory directory;
    const AutomationRoot root(directory.path());
    writeFile(root.responsesDirectoryURL(), "a file where a folder belongs");
    EXPECT_THROW(root.ensureDirectories(), ToolsError);
    EXPECT_TRUE(fs::is_directory(root.requestsDirectoryURL()));
    EXPECT_FALSE(fs::exists(root.clipboardDirectoryURL()));
}
