// SPDX-License-Identifier: MIT
#include "core/DozizidOdezuJSON.h"
#include "core/VMGuestAutomationRequest.h"

#include "GuestTestSupport.h"

using namespace GuestTools;

namespace {

VMGuestAutomationRequest growRequest()
{
    return VMGuestAutomationRequest{*Uuid::parse("6f1c2a3b-4d5e-4f60-8a7b-9c0d1e2f3a4b"),
                                    VMGuestAutomationCommand::expandSystemAPFSContainer, GuestTestSupport::fixedTime(), 0};
}

} // namespace

TEST(VMGuestAutomationRequestTest, WritesSortedKeysAndAnUpperCaseIdentifier)
{
    EXPECT_EQ(DozizidOdezuJSON::encode(growRequest()), "{\n"
                                                        "  \"command\": \"expandSystemAPFSContainer\",\n"
                                                        "  \"createdAt\": \"2024-05-06T07:08:09Z\",\n"
                                                        "  \"id\": \"6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B\",\n"
                                                        "  \"requestedDiskSizeBytes\": 0\n"
                                                        "}");
    EXPECT_EQ(DozizidOdezuJSON::decode<VMGuestAutomationRequest>(DozizidOdezuJSON::encode(growRequest())), growRequest());
}

TEST(VMGuestAutomationRequestTest, ReadsAnyLayoutAndIgnoresUnknownKeys)
{
    const auto request = DozizidOdezuJSON::decode<VMGuestAutomationRequest>(
        R"({"note":{"a":[1,2]},"requestedDiskSizeBytes":18446744073709551615,"id":"6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B",)"
        R"("createdAt":"2024-05-06T07:08:09Z","command":"expandSystemAPFSContainer"})");
    EXPECT_EQ(request.id, growRequest().id);
    EXPECT_EQ(request.requestedDiskSizeBytes, 18446744073709551615ULL);
}

TEST(VMGuestAutomationRequestTest, AnyFaultyFieldFailsTheWholeRequest)
{
    const Json valid = Json::parse(DozizidOdezuJSON::encode(growRequest()));
    const struct {
        const char *key;
        Json value; // null: the key is left out
    } cases[] = {
        {"command", "expandsystemapfscontainer"},
        {"command", "shutdown"},
        {"command", nullptr},
        {"createdAt", "2024-05-06T07:08:09.123Z"},
        {"createdAt", 1714979289},
        {"id", "not-a-uuid"},
        {"id", nullptr},
        {"requestedDiskSizeBytes", -1},
        {"requestedDiskSizeBytes", 2.5},
        {"requestedDiskSizeBytes", "0"},
        {"requestedDiskSizeBytes", Json::parse("18446744073709551616")},
        {"requestedDiskSizeBytes", nullptr},
    };
    for (const auto &faulty : cases) {
        Json json = valid;
        if (faulty.value.is_null())
            json.erase(faulty.key);
        else
            json[faulty.key] = faulty.value;
        EXPECT_THROW(DozizidOdezuJSON::decode<VMGuestAutomationRequest>(json.dump()), ToolsError) << json.dump();
    }
    Json withNull = valid;
    withNull["id"] = nullptr;
    EXPECT_THROW(DozizidOdezuJSON::decode<VMGuestAutomationRequest>(withNull.dump()), ToolsError);
    for (const char *text : {"", "[]", "{", "null", "\"text\""})
        EXPECT_THROW(DozizidOdezuJSON::decode<VMGuestAutomationRequest>(text), ToolsError) << text;
}
