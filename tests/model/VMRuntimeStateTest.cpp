// SPDX-License-Identifier: MIT
#include "VMRuntimeState.h"

#include "RecordTestSupport.h"

using namespace RecordTestSupport;

TEST(VMRuntimeStateTest, RawValuesAreTheCaseNamesInOrder)
{
    expectRawValues<VMRuntimeState>({
        {VMRuntimeState::stopped, "stopped"},
        {VMRuntimeState::starting, "starting"},
        {VMRuntimeState::running, "running"},
        {VMRuntimeState::paused, "paused"},
        {VMRuntimeState::saving, "saving"},
        {VMRuntimeState::restoring, "restoring"},
        {VMRuntimeState::stopping, "stopping"},
        {VMRuntimeState::error, "error"},
    });
}

TEST(VMRuntimeStateTest, OnlyRunningAndPausedCountAsRunningOrPaused)
{
    for (const VMRuntimeState state : allCases<VMRuntimeState>()) {
        const bool expected = state == VMRuntimeState::running || state == VMRuntimeState::paused;
        EXPECT_EQ(isRunningOrPaused(state), expected) << toRaw(state).toStdString();
    }
}

TEST(VMRuntimeStateTest, UnknownTextIsCorruptData)
{
    expectDecodingFails<VMRuntimeState>(R"("Running")", JSONDecodingError::Kind::dataCorrupted);
    expectDecodingFails<VMRuntimeState>("1", JSONDecodingError::Kind::typeMismatch);
}
