// SPDX-License-Identifier: MIT
#include "core/DozizidOdezuJSON.h"
#include "core/VMGuestAutomationHeartbeat.h"

#include "GuestTestSupport.h"

#include <sys/stat.h>

using namespace GuestTools;
using namespace GuestTestSupport;

class DozizidOdezuJSONTest : public ::testing::Test
{
protected:
    const VMGuestAutomationHeartbeat heartbeat{"3", fixedTime(), "guest"};
    TemporaryDirectory directory;
    const fs::path file = directory.path() / "GuestAgentStatus.json";
};

TEST_F(DozizidOdezuJSONTest, WriteReplacesTheFileWholeAndLeavesNothingElse)
{
    writeFile(file, "old content that is longer than the new one, and then some more text");
    DozizidOdezuJSON::write(heartbeat, file);
    EXPECT_EQ(readFile(file), DozizidOdezuJSON::encode(heartbeat));
    EXPECT_EQ(fileNames(directory.path()), std::vector<std::string>{"GuestAgentStatus.json"});
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0644));
    EXPECT_EQ(DozizidOdezuJSON::read<VMGuestAutomationHeartbeat>(file), heartbeat);
}

TEST_F(DozizidOdezuJSONTest, WriteReplacesALinkInsteadOfWritingThroughIt)
{
    const fs::path elsewhere = directory.path() / "elsewhere.txt";
    writeFile(elsewhere, "keep");
    fs::create_symlink(elsewhere, file);
    DozizidOdezuJSON::write(heartbeat, file);
    EXPECT_EQ(readFile(elsewhere), "keep");
    EXPECT_FALSE(fs::is_symlink(file));
}

TEST_F(DozizidOdezuJSONTest, WriteIntoAMissingFolderFails)
{
    EXPECT_THROW(DozizidOdezuJSON::write(heartbeat, directory.path() / "missing" / "x.json"), ToolsError);
}

TEST_F(DozizidOdezuJSONTest, ReadTakesOnlyRegularFilesWithinTheCap)
{
    const fs::path target = directory.path() / "target.json";
    DozizidOdezuJSON::write(heartbeat, target);
    fs::create_symlink(target, file);
    EXPECT_THROW(DozizidOdezuJSON::read<VMGuestAutomationHeartbeat>(file), ToolsError) << "a link is not followed";

    fs::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    EXPECT_THROW(DozizidOdezuJSON::read<VMGuestAutomationHeartbeat>(file), ToolsError) << "a FIFO neither blocks nor reads";

    fs::remove(file);
    fs::create_directory(file);
    EXPECT_THROW(DozizidOdezuJSON::read<VMGuestAutomationHeartbeat>(file), ToolsError);

    fs::remove(file);
    EXPECT_THROW(DozizidOdezuJSON::read<VMGuestAutomationHeartbeat>(file), ToolsError) << "missing";

    std::string padded = DozizidOdezuJSON::encode(heartbeat);
    padded.append(DozizidOdezuJSON::maximumFileSize - padded.size(), ' ');
    writeFile(file, padded);
    EXPECT_EQ(DozizidOdezuJSON::read<VMGuestAutomationHeartbeat>(file), heartbeat);
    writeFile(file, padded + " ");
    try {
        DozizidOdezuJSON::read<VMGuestAutomationHeartbeat>(file);
        ADD_FAILURE() << "read a file past the cap";
    } catch (const ToolsError &error) {
        EXPECT_EQ(error.code(), EFBIG);
    }
}

TEST_F(DozizidOdezuJSONTest, MalformedContentFailsWithADescription)
{
    const std::string deep = std::string(100, '[') + std::string(100, ']');
    for (const std::string &content : {std::string(), std::string("{"), std::string("{\"agentVersion\": \"3\"}"), std::string("\xff\xfe"),
                                       std::string("{\"agentVersion\": 1e999}"), deep}) {
        writeFile(file, content);
        try {
            DozizidOdezuJSON::read<VMGuestAutomationHeartbeat>(file);
            ADD_FAILURE() << "decoded: " << content;
        } catch (const ToolsError &error) {
            EXPECT_EQ(error.domain(), ToolsError::jsonDomain);
            EXPECT_FALSE(error.description().empty());
        }
    }
}

TEST_F(DozizidOdezuJSONTest, TextThatIsNotUTF8CannotBeWritten)
{
    const VMGuestAutomationHeartbeat broken{"3", fixedTime(), std::string("\xc3(")};
    EXPECT_THROW(DozizidOdezuJSON::write(broken, file), ToolsError);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(fileNames(directory.path()).empty());
}

TEST(DozizidOdezuJSONParseTest, NestingIsCountedOutsideStringsUpToTheLimit)
{
    const int limit = DozizidOdezuJSON::maximumNestingDepth;
    const auto nested = [](int depth, char open, char close) { return std::string(depth, open) + std::string(depth, close); };
    const struct {
        std::string text;
        bool accepted;
    } cases[] = {
        {nested(limit, '[', ']'), true},
        {nested(limit + 1, '[', ']'), false},
        {"[" + nested(limit - 1, '[', ']') + ", " + nested(limit - 1, '[', ']') + "]", true},
        {std::string(limit, '[') + "{\"a\": {}}" + std::string(limit, ']'), false},
        // Brackets inside strings, escaped quotes and backslashes included, are text.
        {"[\"\\\"" + std::string(limit + 1, '[') + "\\\\\", \"{\"]", true},
        {"{\"key " + std::string(limit + 1, '{') + "\": \"\\\\\"}", true},
    };
    for (const auto &entry : cases) {
        if (entry.accepted) {
            EXPECT_NO_THROW(DozizidOdezuJSON::parseJSON(entry.text)) << entry.text;
        } else {
            EXPECT_THROW(DozizidOdezuJSON::parseJSON(entry.text), ToolsError) << entry.text;
        }
    }
}

TEST(DozizidOdezuJSONParseTest, ALongListOfObjectsParsesInOneSweep)
{
    // A million records in 3 MB, well within the file cap. Read in one sweep this takes a fraction
    // of a second; a reader that went back over the list after each record would run for an hour.
    constexpr std::size_t count = 1'000'000;
    std::string text = "[";
    text.reserve(3 * count + 1);
    for (std::size_t index = 0; index < count; ++index)
        text += index == 0 ? "{}" : ",{}";
    text += "]";
    ASSERT_LT(text.size(), DozizidOdezuJSON::maximumFileSize);
    const Json parsed = DozizidOdezuJSON::parseJSON(text);
    ASSERT_TRUE(parsed.is_array());
    EXPECT_EQ(parsed.size(), count);
    EXPECT_TRUE(parsed.back().is_object());
}
