// SPDX-License-Identifier: MIT
#include "clipboard-agent/ClipboardAgent.h"
#include "clipboard-agent/InMemoryPasteboard.h"

#include "core/DozizidOdezuJSON.h"
#include "core/VMClipboardMessage.h"

#include "GuestTestSupport.h"

using namespace GuestTools;
using namespace GuestTestSupport;

namespace {

const Uuid firstHostID = *Uuid::parse("11111111-1111-4111-8111-111111111111");
const Uuid secondHostID = *Uuid::parse("22222222-2222-4222-8222-222222222222");

} // namespace

/// One agent over an in-memory clipboard and a temporary tree of volumes, cycled by hand.
class ClipboardAgentTest : public ::testing::Test
{
protected:
    void mount()
    {
        mounts.mountHostShare(root.rootURL().parent_path());
        writeFile(root.rootURL() / DozizidOdezuConstants::markerFilename, "");
    }

    ClipboardAgent makeAgent()
    {
        const Clock clock = [this] { return now; };
        return ClipboardAgent(AutomationRootLocator(volumes, mounts.lookup()), pasteboard, DozizidOdezuLogger(logFile, clock), clock);
    }

    void hostWrites(const Uuid &id, const std::string &textBase64)
    {
        fs::create_directories(root.clipboardDirectoryURL());
        DozizidOdezuJSON::write(VMClipboardMessage{id, VMClipboardMessageSource::host, now, textBase64}, root.hostClipboardURL());
    }

    void hostSends(const Uuid &id, const std::string &text)
    {
        hostWrites(id, VMClipboardMessage::withText(id, VMClipboardMessageSource::host, now, text).textBase64);
    }

    std::optional<VMClipboardMessage> published() const
    {
        if (!fs::exists(root.guestClipboardURL()))
            return std::nullopt;
        return DozizidOdezuJSON::read<VMClipboardMessage>(root.guestClipboardURL());
    }

    std::vector<std::string> logMessages() const
    {
        std::vector<std::string> messages;
        for (const std::string &line : lines(readFile(logFile)))
            messages.push_back(line.substr(line.find(' ') + 1));
        return messages;
    }

    TemporaryDirectory directory;
    const fs::path volumes = directory.path() / "Volumes";
    FakeMounts mounts;
    const AutomationRoot root{volumes / "My Shared Files" / DozizidOdezuConstants::automationShareName};
    const fs::path logFile = directory.path() / "clipboard.log";
    InMemoryPasteboard pasteboard;
    Timestamp now = fixedTime();
};

TEST_F(ClipboardAgentTest, AppliesAHostMessageOncePerIdentifierWithoutEchoingIt)
{
    mount();
    ClipboardAgent agent = makeAgent();
    hostSends(firstHostID, "from the host");
    agent.runCycle();
    EXPECT_EQ(pasteboard.text(), "from the host");
    const auto countAfterApplying = pasteboard.changeCount();

    hostSends(firstHostID, "same id, other text");
    agent.runCycle();
    agent.runCycle();
    EXPECT_EQ(pasteboard.text(), "from the host");
    EXPECT_EQ(pasteboard.changeCount(), countAfterApplying);
    EXPECT_EQ(published(), std::nullopt);
    EXPECT_EQ(logMessages(), std::vector<std::string>{"Applied host clipboard update 11111111-1111-4111-8111-111111111111"});
    EXPECT_TRUE(fs::exists(root.hostClipboardURL()));
}

TEST_F(ClipboardAgentTest, NeverAppliesAnEmptyOrUndecodableHostText)
{
    mount();
    ClipboardAgent agent = makeAgent();
    pasteboard.setText("guest text");
    agent.runCycle(); // publishes the guest text, so that only host effects remain below
    const auto count = pasteboard.changeCount();

    for (const char *textBase64 : {"", "bm90IGJhc2U2NA", "aGVs\nbG8=", "/w=="}) {
        hostWrites(Uuid::random(), textBase64);
        agent.runCycle();
        EXPECT_EQ(pasteboard.changeCount(), count) << textBase64;
    }
    for (const char *content : {"", "{", "{\"id\": 5}"}) {
        writeFile(root.hostClipboardURL(), content);
        agent.runCycle();
        EXPECT_EQ(pasteboard.changeCount(), count) << content;
    }
    EXPECT_EQ(logMessages().size(), 1u);

    hostSends(secondHostID, "valid at last");
    agent.runCycle();
    EXPECT_EQ(pasteboard.text(), "valid at last");
}

TEST_F(ClipboardAgentTest, PublishesOnlyTextThatDiffersFromTheLastSynced)
{
    mount();
    ClipboardAgent agent = makeAgent();
    hostSends(firstHostID, "shared text");
    agent.runCycle();

    pasteboard.setText("shared text");
    agent.runCycle();
    EXPECT_EQ(published(), std::nullopt);

    now += std::chrono::seconds(3);
    pasteboard.setText("Grüße aus dem Gast");
    agent.runCycle();
    const auto message = published();
    ASSERT_TRUE(message);
    EXPECT_EQ(message->source, VMClipboardMessageSource::guest);
    EXPECT_EQ(message->text(), "Grüße aus dem Gast");
    EXPECT_EQ(message->updatedAt, now);
    EXPECT_NE(message->id, firstHostID);
    EXPECT_EQ(logMessages().back(), "Published guest clipboard update " + message->id.uppercaseString());

    pasteboard.setText("Grüße aus dem Gast");
    agent.runCycle();
    EXPECT_EQ(published(), message);
}

TEST_F(ClipboardAgentTest, ContentsWithoutTextForgetTheSyncedText)
{
    mount();
    ClipboardAgent agent = makeAgent();
    pasteboard.setText("copied twice");
    agent.runCycle();
    const auto first = published();
    ASSERT_TRUE(first);

    pasteboard.setNonTextContents();
    agent.runCycle();
    EXPECT_EQ(published(), first);

    pasteboard.setText("copied twice");
    agent.runCycle();
    ASSERT_TRUE(published());
    EXPECT_NE(published()->id, first->id);
    EXPECT_EQ(published()->text(), "copied twice");
}

TEST_F(ClipboardAgentTest, TextOnTheClipboardAtStartWaitsForAChange)
{
    mount();
    pasteboard.setText("there before the agent");
    ClipboardAgent agent = makeAgent();
    agent.runCycle();
    EXPECT_EQ(published(), std::nullopt);
    pasteboard.setText("copied later");
    agent.runCycle();
    ASSERT_TRUE(published());
    EXPECT_EQ(published()->text(), "copied later");
}

TEST_F(ClipboardAgentTest, TheHostWinsWhenBothSidesChangeInOneCycle)
{
    mount();
    ClipboardAgent agent = makeAgent();
    pasteboard.setText("guest change");
    hostSends(firstHostID, "host change");
    agent.runCycle();
    agent.runCycle();
    EXPECT_EQ(pasteboard.text(), "host change");
    EXPECT_EQ(published(), std::nullopt);
}

TEST_F(ClipboardAgentTest, PublishingCreatesTheMissingFolders)
{
    mount();
    ClipboardAgent agent = makeAgent();
    pasteboard.setText("first copy");
    agent.runCycle();
    EXPECT_TRUE(fs::is_directory(root.requestsDirectoryURL()));
    EXPECT_TRUE(fs::is_directory(root.responsesDirectoryURL()));
    EXPECT_TRUE(published());
}

TEST_F(ClipboardAgentTest, AFailedPublishIsLoggedOnceAndWaitsForTheNextChange)
{
    mount();
    writeFile(root.clipboardDirectoryURL(), "a file where a folder belongs");
    ClipboardAgent agent = makeAgent();
    pasteboard.setText("lost");
    agent.runCycle();
    agent.runCycle();
    ASSERT_EQ(logMessages().size(), 1u);
    EXPECT_TRUE(logMessages()[0].starts_with("Failed to publish guest clipboard: ")) << logMessages()[0];

    fs::remove(root.clipboardDirectoryURL());
    agent.runCycle();
    EXPECT_EQ(published(), std::nullopt);
    pasteboard.setText("kept");
    agent.runCycle();
    ASSERT_TRUE(published());
    EXPECT_EQ(published()->text(), "kept");
}

TEST_F(ClipboardAgentTest, WithoutARootItOnlyWaitsAndThenFollowsTheShare)
{
    ClipboardAgent agent = makeAgent();
    pasteboard.setText("copied while unmounted");
    agent.runCycle();
    agent.runCycle();
    EXPECT_FALSE(fs::exists(volumes));
    EXPECT_FALSE(fs::exists(logFile));

    mount();
    agent.runCycle();
    ASSERT_TRUE(published());
    EXPECT_EQ(published()->text(), "copied while unmounted");
}
