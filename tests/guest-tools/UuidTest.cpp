// SPDX-License-Identifier: MIT
#include "core/Uuid.h"

#include <gtest/gtest.h>

#include <set>

using GuestTools::Uuid;

TEST(UuidTest, ParsesEitherCaseAndWritesUpperCase)
{
    const auto lower = Uuid::parse("6f1c2a3b-4d5e-4f60-8a7b-9c0d1e2f3a4b");
    ASSERT_TRUE(lower);
    EXPECT_EQ(lower->uppercaseString(), "6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B");
    EXPECT_EQ(Uuid::parse("6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B"), lower);
}

TEST(UuidTest, RefusesAnythingButTheHyphenatedForm)
{
    for (const char *text : {"", "6F1C2A3B4D5E4F608A7B9C0D1E2F3A4B", "{6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B}",
                             "6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4", "6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4BC",
                             "6F1C2A3B-4D5E-4F60-8A7B_9C0D1E2F3A4B", "6G1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B",
                             "1709251198-4242"})
        EXPECT_EQ(Uuid::parse(text), std::nullopt) << text;
}

TEST(UuidTest, RandomIdentifiersAreVersionFourAndDistinct)
{
    std::set<std::string> seen;
    for (int index = 0; index < 100; ++index) {
        const std::string text = Uuid::random().uppercaseString();
        EXPECT_EQ(text[14], '4') << text;
        EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos) << text;
        EXPECT_EQ(Uuid::parse(text)->uppercaseString(), text);
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), 100u);
}
