// SPDX-License-Identifier: MIT
#include "VMInstallState.h"

#include "RecordTestSupport.h"

using namespace RecordTestSupport;

TEST(VMInstallStateTest, RawValuesAndDisplayTexts)
{
    expectRawValues<VMInstallState>({
        {VMInstallState::notInstalled, "notInstalled"},
        {VMInstallState::preparingBundle, "preparingBundle"},
        {VMInstallState::downloadingRestoreImage, "downloadingRestoreImage"},
        {VMInstallState::installingMacOS, "installingMacOS"},
        {VMInstallState::installed, "installed"},
        {VMInstallState::failed, "failed"},
    });
    const std::pair<VMInstallState, const char *> texts[] = {
        {VMInstallState::notInstalled, "Not Installed"},
        {VMInstallState::preparingBundle, "Preparing"},
        {VMInstallState::downloadingRestoreImage, "Downloading Restore Image"},
        {VMInstallState::installingMacOS, "Installing macOS"},
        {VMInstallState::installed, "Installed"},
        {VMInstallState::failed, "Failed"},
    };
    for (const auto &[state, text] : texts)
        EXPECT_EQ(displayText(state), QString::fromUtf8(text));
}
