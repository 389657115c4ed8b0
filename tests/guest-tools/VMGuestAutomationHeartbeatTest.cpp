// SPDX-License-Identifier: MIT
#include "core/DozizidOdezuJSON.h"
#include "core/VMGuestAutomationHeartbeat.h"

#include "GuestTestSupport.h"

using namespace GuestTools;

TEST(VMGuestAutomationHeartbeatTest, AnAbsentNameLeavesTheKeyOut)
{
    EXPECT_EQ(DozizidOdezuJSON::encode(VMGuestAutomationHeartbeat{"3", GuestTestSupport::fixedTime(), std::nullopt}),
              "{\n  \"agentVersion\": \"3\",\n  \"lastSeenAt\": \"2024-05-06T07:08:09Z\"\n}");
    for (const char *text : {R"({"agentVersion":"3","lastSeenAt":"2024-05-06T07:08:09Z"})",
                             R"({"agentVersion":"3","lastSeenAt":"2024-05-06T07:08:09Z","guestComputerName":null})"})
        EXPECT_EQ(DozizidOdezuJSON::decode<VMGuestAutomationHeartbeat>(text),
                  (VMGuestAutomationHeartbeat{"3", GuestTestSupport::fixedTime(), std::nullopt}));

    const VMGuestAutomationHeartbeat named{"3", GuestTestSupport::fixedTime(), "Guest/Mac"};
    EXPECT_EQ(DozizidOdezuJSON::encode(named),
              "{\n  \"agentVersion\": \"3\",\n  \"guestComputerName\": \"Guest\\/Mac\",\n  \"lastSeenAt\": \"2024-05-06T07:08:09Z\"\n}");
    EXPECT_EQ(DozizidOdezuJSON::decode<VMGuestAutomationHeartbeat>(DozizidOdezuJSON::encode(named)), named);
    EXPECT_THROW(DozizidOdezuJSON::decode<VMGuestAutomationHeartbeat>(R"({"agentVersion":"3","lastSeenAt":"2024-05-06T07:08:09Z","guestComputerName":7})"),
                 ToolsError);
}
