// SPDX-License-Identifier: MIT
#include "ScriptedVirtualMachine.h"

#include "QtPrinters.h"
#include "TaskRunner.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

using State = VirtualMachine::State;
using Operation = VirtualMachineScript::Operation;

const VirtualizationError refused(VirtualizationError::Code::internalError, QStringLiteral("refused"));

class ScriptedVirtualMachineTest : public ::testing::Test
{
protected:
    ScriptedVirtualMachineTest()
    {
        QObject::connect(&machine, &VirtualMachine::stateChanged, [this](State state) { states << state; });
    }

    ScriptedVirtualMachine machine{VirtualMachineConfiguration{}};
    QList<State> states;
};

TEST_F(ScriptedVirtualMachineTest, GoesThroughTheStatesOfARealMachine)
{
    TaskRunner::run(machine.start());
    TaskRunner::run(machine.pause());
    TaskRunner::run(machine.resume());
    TaskRunner::run(machine.stop());
    EXPECT_EQ(states, QList<State>({State::starting, State::running, State::pausing, State::paused, State::resuming, State::running,
                                    State::stopping, State::stopped}));
    EXPECT_EQ(machine.calls(), QList<Operation>({Operation::start, Operation::pause, Operation::resume, Operation::stop}));
}

TEST_F(ScriptedVirtualMachineTest, AnswersFromItsScriptInOrderAfterTheDelay)
{
    machine.script().enqueue(Operation::start, ScriptedAnswer::failure(refused, 50ms));
    QElapsedTimer elapsed;
    elapsed.start();
    try {
        TaskRunner::run(machine.start());
        ADD_FAILURE() << "the scripted failure was not thrown";
    } catch (const VirtualizationError &error) {
        EXPECT_EQ(error.localizedDescription(), QStringLiteral("refused"));
    }
    EXPECT_GE(elapsed.elapsed(), 45); // Qt's coarse timers may fire up to 5% early
    EXPECT_EQ(machine.state(), State::stopped);

    TaskRunner::run(machine.start());
    EXPECT_EQ(machine.state(), State::running);
    EXPECT_EQ(machine.script().pending(Operation::start), 0);
}

TEST_F(ScriptedVirtualMachineTest, FailedOperationsLeaveTheStateTheyFound)
{
    machine.script().enqueue(Operation::pause, ScriptedAnswer::failure(refused));
    machine.script().enqueue(Operation::resume, ScriptedAnswer::failure(refused));
    machine.script().enqueue(Operation::restoreMachineState, ScriptedAnswer::failure(refused));
    TaskRunner::run(machine.start());
    EXPECT_THROW(TaskRunner::run(machine.pause()), VirtualizationError);
    EXPECT_EQ(machine.state(), State::running);
    TaskRunner::run(machine.pause());
    EXPECT_THROW(TaskRunner::run(machine.resume()), VirtualizationError);
    EXPECT_EQ(machine.state(), State::paused);
    TaskRunner::run(machine.stop());
    EXPECT_THROW(TaskRunner::run(machine.restoreMachineStateFrom(QStringLiteral("/nowhere"))), VirtualizationError);
    EXPECT_EQ(machine.state(), State::stopped);
}

TEST_F(ScriptedVirtualMachineTest, RefusesWhatTheStateDoesNotAllowLikeARealMachine)
{
    try {
        TaskRunner::run(machine.pause());
        ADD_FAILURE() << "a stopped machine was paused";
    } catch (const VirtualizationError &error) {
        EXPECT_EQ(error.code(), VirtualizationError::Code::invalidState);
        EXPECT_EQ(error.localizedDescription(), QStringLiteral("The virtual machine cannot pause while it is stopped."));
    }
    EXPECT_THROW(TaskRunner::run(machine.saveMachineStateTo(QStringLiteral("/nowhere"), VirtualMachine::SaveStart::keepPaused)), VirtualizationError);
    EXPECT_TRUE(states.isEmpty());
    EXPECT_EQ(machine.calls(), QList<Operation>({Operation::pause, Operation::saveMachineState}));
}

TEST_F(ScriptedVirtualMachineTest, SavingWritesAFileAndLeavesTheMachinePaused)
{
    QTemporaryDir directory;
    const QString file = directory.path() + QStringLiteral("/MachineState.bin");
    TaskRunner::run(machine.start());
    TaskRunner::run(machine.pause());
    TaskRunner::run(machine.saveMachineStateTo(file, VirtualMachine::SaveStart::keepPaused));

    EXPECT_EQ(machine.state(), State::paused);
    EXPECT_EQ(machine.savedStateURLs(), QStringList{file});
    QFile saved(file);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), ScriptedVirtualMachine::savedStateContent());
    EXPECT_EQ(states.mid(states.size() - 2), QList<State>({State::saving, State::paused}));

    TaskRunner::run(machine.stop());
    TaskRunner::run(machine.restoreMachineStateFrom(file));
    EXPECT_EQ(machine.state(), State::paused);
    EXPECT_EQ(machine.restoredStateURLs(), QStringList{file});
}

TEST_F(ScriptedVirtualMachineTest, RaisedEventsFollowTheirStateChange)
{
    TaskRunner::run(machine.start());
    QStringList seen;
    QObject::connect(&machine, &VirtualMachine::guestDidStop, [&] { seen << QStringLiteral("guest:") + VirtualMachine::stateName(machine.state()); });
    QObject::connect(&machine, &VirtualMachine::didStopWithError, [&](const VirtualizationError &error) {
        seen << QStringLiteral("error:") + VirtualMachine::stateName(machine.state()) + QLatin1Char(':') + error.localizedDescription();
    });
    QObject::connect(&machine, &VirtualMachine::networkAttachmentWasDisconnected, [&](qsizetype index, const VirtualizationError &) {
        seen << QStringLiteral("network:%1").arg(index);
    });

    machine.raiseNetworkAttachmentDisconnected(1, refused);
    machine.raiseGuestDidStop();
    machine.raiseDidStopWithError(refused);
    EXPECT_EQ(seen, QStringList({QStringLiteral("network:1"), QStringLiteral("guest:stopped"), QStringLiteral("error:error:refused")}));
}

} // namespace
