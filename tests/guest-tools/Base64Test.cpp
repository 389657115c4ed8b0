// SPDX-License-Identifier: MIT
#include "core/Base64.h"

#include <gtest/gtest.h>

using namespace GuestTools;

TEST(Base64Test, EncodesWithPaddingOnOneLine)
{
    const struct {
        std::string bytes;
        const char *text;
    } cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"äöü", "w6TDtsO8"},
        {std::string("\xff\xfe\x00", 3), "//4A"},
        {std::string(100, 'x'), "eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eA=="},
    };
    for (const auto &sample : cases) {
        EXPECT_EQ(Base64::encode(sample.bytes), sample.text);
        EXPECT_EQ(Base64::decode(sample.text), sample.bytes) << sample.text;
    }
}

TEST(Base64Test, DecodingIsStrict)
{
    for (const char *text : {"Zg", "Zg=", "Zm9v\n", "Zm 9v", "Zm9v\r\nZm9v", "Z===", "Zg=a", "=Zm9", "Zm-_", "Zm9v===="})
        EXPECT_EQ(Base64::decode(text), std::nullopt) << text;
}
