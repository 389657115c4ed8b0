// SPDX-License-Identifier: MIT
#include "core/DozizidOdezuJSON.h"
#include "core/VMGuestAutomationResponse.h"

#include "GuestTestSupport.h"

using namespace GuestTools;

TEST(VMGuestAutomationResponseTest, SuccessIsAJSONBoolean)
{
    const VMGuestAutomationResponse response{*Uuid::parse("6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B"), true, GuestTestSupport::fixedTime(), "Done."};
    EXPECT_EQ(DozizidOdezuJSON::encode(response), "{\n"
                                                   "  \"handledAt\": \"2024-05-06T07:08:09Z\",\n"
                                                   "  \"message\": \"Done.\",\n"
                                                   "  \"requestID\": \"6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B\",\n"
                                                   "  \"success\": true\n"
                                                   "}");
    Json json = Json::parse(DozizidOdezuJSON::encode(response));
    json["success"] = "true";
    EXPECT_THROW(DozizidOdezuJSON::decode<VMGuestAutomationResponse>(json.dump()), ToolsError);
}
