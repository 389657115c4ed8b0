// SPDX-License-Identifier: MIT
#include "MachineOperationTimeout.h"

#include "QtPrinters.h"
#include "ScriptedVirtualMachine.h"
#include "TaskWaiter.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

using Operation = VirtualMachineScript::Operation;

QString describe(const std::exception_ptr &failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const VirtualizationError &error) {
        return QStringLiteral("%1: ").arg(int(error.code())) + error.localizedDescription();
    }
}

TEST(MachineOperationTimeoutTest, PassesTheOutcomeOnWithinTheLimit)
{
    ScriptedVirtualMachine machine{VirtualMachineConfiguration{}};
    machine.script().enqueue(Operation::start, ScriptedAnswer::success(20ms));
    EXPECT_FALSE(TaskWaiter::failureOf(MachineOperationTimeout::bound(machine.start(), 5s)));
    EXPECT_EQ(machine.state(), VirtualMachine::State::running);

    const VirtualizationError refusal(VirtualizationError::Code::invalidState, QStringLiteral("no"));
    machine.script().enqueue(Operation::pause, ScriptedAnswer::failure(refusal, 20ms));
    EXPECT_EQ(describe(TaskWaiter::failureOf(MachineOperationTimeout::bound(machine.pause(), 5s))), QStringLiteral("2: no"));

    // A machine that refuses at once, before it ever waits.
    EXPECT_EQ(describe(TaskWaiter::failureOf(MachineOperationTimeout::bound(machine.resume(), 5s))).left(3), QStringLiteral("2: "));
}

TEST(MachineOperationTimeoutTest, GivesUpOnAMachineThatDoesNotAnswer)
{
    auto machine = std::make_unique<ScriptedVirtualMachine>(VirtualMachineConfiguration{});
    machine->script().enqueue(Operation::start, ScriptedAnswer::success(10s));
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(describe(TaskWaiter::failureOf(MachineOperationTimeout::bound(machine->start(), 200ms))),
              QStringLiteral("0: The virtual machine did not answer within 1 seconds."));
    EXPECT_LT(clock.elapsed(), 2000);
    // The operation given up on ends with its machine, unobserved.
    machine.reset();
    QTest::qWait(20);
}

TEST(MachineOperationTimeoutTest, StateTransfersGetMoreTimeForMoreMemory)
{
    EXPECT_EQ(MachineOperationTimeout::stateTransferLimit(0), MachineOperationTimeout::operationLimit);
    EXPECT_EQ(MachineOperationTimeout::stateTransferLimit(quint64(16) << 30), MachineOperationTimeout::operationLimit + 1024s);
}

} // namespace
