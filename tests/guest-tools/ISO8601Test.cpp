// SPDX-License-Identifier: MIT
#include "core/ISO8601.h"

#include "GuestTestSupport.h"

using namespace GuestTools;

TEST(ISO8601Test, WritesWholeSecondsInUTC)
{
    EXPECT_EQ(ISO8601::format(GuestTestSupport::fixedTime()), "2024-05-06T07:08:09Z");
    EXPECT_EQ(ISO8601::format(Timestamp{}), "1970-01-01T00:00:00Z");
}

TEST(ISO8601Test, ReadsZuluAndOffsets)
{
    EXPECT_EQ(ISO8601::parse("2024-05-06T07:08:09Z"), GuestTestSupport::fixedTime());
    EXPECT_EQ(ISO8601::parse("2024-05-06T09:38:09+02:30"), GuestTestSupport::fixedTime());
    EXPECT_EQ(ISO8601::parse("2024-05-05T23:08:09-08:00"), GuestTestSupport::fixedTime());
}

TEST(ISO8601Test, RefusesFractionsAndOtherForms)
{
    for (const char *text : {"2024-05-06T07:08:09.5Z", "2024-05-06T07:08:09.000Z", "2024-05-06T07:08:09", "2024-05-06 07:08:09Z",
                             "2024-05-06t07:08:09z", "2024-02-30T07:08:09Z", "2024-13-06T07:08:09Z", "2024-05-06T24:00:00Z",
                             "2024-05-06T07:60:09Z", "2024-05-06T07:08:60Z", "2024-05-06T07:08:09+0200", "24-05-06T07:08:09Z", ""})
        EXPECT_EQ(ISO8601::parse(text), std::nullopt) << text;
}
