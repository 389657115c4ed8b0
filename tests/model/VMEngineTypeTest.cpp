// SPDX-License-Identifier: MIT
#include "VMEngineType.h"

#include "RecordTestSupport.h"

using namespace RecordTestSupport;

TEST(VMEngineTypeTest, RawValuesAreTheCaseNamesAppleFirst)
{
    expectRawValues<VMEngineType>({{VMEngineType::apple, "apple"}, {VMEngineType::qemu, "qemu"}});
}
