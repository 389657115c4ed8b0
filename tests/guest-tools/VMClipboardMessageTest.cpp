// SPDX-License-Identifier: MIT
#include "core/DozizidOdezuJSON.h"
#include "core/VMClipboardMessage.h"

#include "GuestTestSupport.h"

using namespace GuestTools;

namespace {

const Uuid messageID = *Uuid::parse("C0FFEE00-1234-4ABC-9DEF-0123456789AB");

VMClipboardMessage withBase64(std::string textBase64)
{
    return VMClipboardMessage{messageID, VMClipboardMessageSource::host, GuestTestSupport::fixedTime(), std::move(textBase64)};
}

} // namespace

TEST(VMClipboardMessageTest, TextTravelsAsBase64OfItsUTF8Bytes)
{
    const auto message = VMClipboardMessage::withText(messageID, VMClipboardMessageSource::guest, GuestTestSupport::fixedTime(), "äöü€");
    EXPECT_EQ(message.textBase64, "w6TDtsO84oKs");
    EXPECT_EQ(message.text(), "äöü€");
    EXPECT_EQ(DozizidOdezuJSON::encode(message), "{\n"
                                                  "  \"id\": \"C0FFEE00-1234-4ABC-9DEF-0123456789AB\",\n"
                                                  "  \"source\": \"guest\",\n"
                                                  "  \"textBase64\": \"w6TDtsO84oKs\",\n"
                                                  "  \"updatedAt\": \"2024-05-06T07:08:09Z\"\n"
                                                  "}");
    EXPECT_EQ(DozizidOdezuJSON::decode<VMClipboardMessage>(DozizidOdezuJSON::encode(message)), message);

    const auto empty = VMClipboardMessage::withText(messageID, VMClipboardMessageSource::host, GuestTestSupport::fixedTime(), "");
    EXPECT_EQ(empty.textBase64, "");
    EXPECT_EQ(empty.text(), "");
}

TEST(VMClipboardMessageTest, InvalidBase64OrUTF8GivesTheEmptyText)
{
    for (const char *textBase64 : {"aGVsbG8", "aGVs\nbG8=", "aGVs bG8=", "aGVsbG8*", "/w==" /* 0xFF */, "7aCA" /* a surrogate */})
        EXPECT_EQ(withBase64(textBase64).text(), "") << textBase64;
    EXPECT_EQ(withBase64("aGVsbG8=").text(), "hello");
}

TEST(VMClipboardMessageTest, SourceMatchesExactly)
{
    Json json = Json::parse(DozizidOdezuJSON::encode(withBase64("aGk=")));
    for (const char *source : {"Host", "GUEST", ""}) {
        json["source"] = source;
        EXPECT_THROW(DozizidOdezuJSON::decode<VMClipboardMessage>(json.dump()), ToolsError) << source;
    }
    json["source"] = "guest";
    EXPECT_EQ(DozizidOdezuJSON::decode<VMClipboardMessage>(json.dump()).source, VMClipboardMessageSource::guest);
}
