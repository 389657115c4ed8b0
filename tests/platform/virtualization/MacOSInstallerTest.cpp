// SPDX-License-Identifier: MIT
#include "MacOSInstaller.h"

#include "QtPrinters.h"
#include "ScriptedVirtualMachine.h"
#include "TaskRunner.h"

#include <gtest/gtest.h>

namespace {

TEST(MacOSInstallerTest, ReportsThatInstallingIsUnavailableAndLeavesTheMachineAlone)
{
    ScriptedVirtualMachine machine{VirtualMachineConfiguration{}};
    MacOSInstaller installer(machine, QStringLiteral("/images/UniversalMac.ipsw"));
    try {
        TaskRunner::run(installer.install());
        ADD_FAILURE() << "macOS was installed";
    } catch (const VirtualizationError &error) {
        EXPECT_EQ(error.code(), VirtualizationError::Code::notSupported);
        EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("QEMU cannot boot macOS"))) << error.what();
    }
    EXPECT_TRUE(machine.calls().isEmpty());
    EXPECT_EQ(machine.state(), VirtualMachine::State::stopped);
}

} // namespace
