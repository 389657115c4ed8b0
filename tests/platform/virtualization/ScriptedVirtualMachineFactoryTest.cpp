// SPDX-License-Identifier: MIT
#include "ScriptedVirtualMachineFactory.h"

#include "QtPrinters.h"
#include "TaskRunner.h"

#include <gtest/gtest.h>

namespace {

TEST(ScriptedVirtualMachineFactoryTest, RecordsConfigurationsAndHandsEachMachineTheScriptOfItsTime)
{
    ScriptedVirtualMachineFactory factory;
    factory.script().enqueue(VirtualMachineScript::Operation::start,
                             ScriptedAnswer::failure({VirtualizationError::Code::internalError, QStringLiteral("first")}));
    VirtualMachineConfiguration two;
    two.cpuCount = 2;

    auto first = factory.makeVirtualMachine(VirtualMachineConfiguration{}, QStringLiteral("/a/Logs"));
    factory.script() = VirtualMachineScript();
    auto second = factory.makeVirtualMachine(two, QStringLiteral("/b/Logs"));

    EXPECT_EQ(factory.configurations(), QList<VirtualMachineConfiguration>({VirtualMachineConfiguration{}, two}));
    EXPECT_EQ(factory.logDirectories(), QStringList({QStringLiteral("/a/Logs"), QStringLiteral("/b/Logs")}));
    EXPECT_EQ(factory.machines(), QList<ScriptedVirtualMachine *>({static_cast<ScriptedVirtualMachine *>(first.get()),
                                                                   static_cast<ScriptedVirtualMachine *>(second.get())}));
    EXPECT_THROW(TaskRunner::run(first->start()), VirtualizationError);
    EXPECT_NO_THROW(TaskRunner::run(second->start()));
    EXPECT_EQ(factory.lastMachine()->configuration().cpuCount, 2);

    second.reset();
    EXPECT_EQ(factory.machines().size(), 1);
    EXPECT_EQ(factory.lastMachine(), nullptr);
    EXPECT_TRUE(factory.isSupported());
    factory.setSupported(false);
    EXPECT_FALSE(factory.isSupported());
}

} // namespace
