// SPDX-License-Identifier: MIT
#include "core/UTF8.h"

#include <gtest/gtest.h>

using namespace GuestTools;

TEST(UTF8Test, RefusesMalformedSequences)
{
    EXPECT_TRUE(UTF8::isValid(""));
    EXPECT_TRUE(UTF8::isValid("plain ASCII"));
    EXPECT_TRUE(UTF8::isValid("Grüße, 東京 🚀"));
    EXPECT_TRUE(UTF8::isValid("\xf4\x8f\xbf\xbf")); // U+10FFFF
    for (const char *bytes : {"\xc3", "\xc3\x28", "\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xff", "\x80"})
        EXPECT_FALSE(UTF8::isValid(bytes)) << bytes;
}
