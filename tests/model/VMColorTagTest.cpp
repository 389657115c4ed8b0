// SPDX-License-Identifier: MIT
#include "VMColorTag.h"

#include "RecordTestSupport.h"

using namespace RecordTestSupport;

TEST(VMColorTagTest, RawValuesAreTheCaseNamesInOrder)
{
    expectRawValues<VMColorTag>({
        {VMColorTag::red, "red"},
        {VMColorTag::orange, "orange"},
        {VMColorTag::yellow, "yellow"},
        {VMColorTag::green, "green"},
        {VMColorTag::blue, "blue"},
        {VMColorTag::purple, "purple"},
        {VMColorTag::gray, "gray"},
    });
}

TEST(VMColorTagTest, NearMissesDoNotDecode)
{
    for (const char *json : {R"("RED")", R"("grey")", R"(" red")", R"("red ")", R"("")"})
        expectDecodingFails<VMColorTag>(json, JSONDecodingError::Kind::dataCorrupted);
}
