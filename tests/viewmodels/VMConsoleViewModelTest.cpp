// SPDX-License-Identifier: MIT
#include "VMConsoleViewModel.h"

#include "ConsoleTexts.h"
#include "VirtualMachineSession.h"

#include "ViewModelTestFixture.h"

#include <QSignalSpy>

namespace {

using namespace CoordinatorTesting;
using namespace std::chrono_literals;

class VMConsoleViewModelTest : public ViewModelTest
{
protected:
    VMConsoleViewModel &console(const QUuid &id)
    {
        m_console = std::make_unique<VMConsoleViewModel>(coordinator().session(id), coordinator(), m_runtime, m_logging, [this] { ++m_closes; });
        return *m_console;
    }

    int consoleLines() const { return int(appLog().count(QStringLiteral("[Console] "))); }

    std::unique_ptr<VMConsoleViewModel> m_console;
    int m_closes = 0;
};

TEST_F(VMConsoleViewModelTest, AFailedActionShowsItsSentenceAndLogsItOnce)
{
    const VMBundle bundle = installedBundle();
    VMConsoleViewModel &model = console(bundle.id());
    const struct {
        const char *name;
        bool running;
        std::function<QCoro::Task<>()> action;
        const char *expected;
    } cases[] = {
        {"pause a stopped VM", false, [&] { return model.pause(); }, "The virtual machine cannot pause while it is stopped."},
        {"resume a stopped VM", false, [&] { return model.resume(); }, "The virtual machine cannot resume while it is stopped."},
        {"start a running VM", true, [&] { return model.start(); }, "The virtual machine is already active."},
        {"discard while running", true, [&] { return model.discardSavedState(); }, "Stop the virtual machine before discarding saved state."},
    };
    int lines = consoleLines();
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.name);
        if (testCase.running) {
            ASSERT_EQ(startFailure(bundle.id(), false), QString());
        }
        const VMRuntimeState before = storedState(bundle.id());
        waitForOutcome(testCase.action()).get();
        EXPECT_EQ(model.errorMessage(), refused(testCase.expected));
        EXPECT_EQ(consoleLines(), ++lines);
        EXPECT_EQ(storedState(bundle.id()), before) << "nothing is finalised after a refusal";
        ASSERT_FALSE(waitForOutcome(coordinator().stop(bundle.id())).failure);
    }
    EXPECT_FALSE(coordinator().isMachineActive(bundle.id())) << "no refusal wedged the VM";

    // The message belongs to the action that caused it: the next action replaces it.
    waitForOutcome(model.start()).get();
    EXPECT_EQ(model.errorMessage(), std::nullopt);
    waitForOutcome(model.pause()).get();
    EXPECT_EQ(storedState(bundle.id()), VMRuntimeState::paused) << "a pause is stored at once";
}

TEST_F(VMConsoleViewModelTest, StoppedSharedFoldersAreToldAtTheConsoleAndSaveStateIsRefusedAtOnce)
{
    const VMBundle bundle = installedBundle();
    VMConsoleViewModel &model = console(bundle.id());
    waitForOutcome(model.start()).get();
    ScriptedVirtualMachine *machine = m_machines.lastMachine();
    machine->raiseDirectorySharingDeviceStopped(
        0, VirtualizationError(VirtualizationError::Code::internalError, QStringLiteral("virtiofsd ended (killed by a signal).")));
    const QString told = QStringLiteral("The shared folders of “Dev” stopped working: their file server ended, so the guest can no longer use them. "
                                        "Shut the guest down and start the VM again to get them back.");
    EXPECT_EQ(model.errorMessage(), told);

    model.setErrorMessage(std::nullopt);
    waitForOutcome(model.saveState()).get();
    EXPECT_EQ(model.errorMessage(), QStringLiteral("The VM state could not be saved: ") + told);
    EXPECT_FALSE(machine->calls().contains(Operation::pause)) << "the machine was not paused for a save that cannot succeed";
    EXPECT_EQ(model.runtimeState(), VMRuntimeState::running);
}

TEST_F(VMConsoleViewModelTest, ASavedStateIsToldAtTheConsoleUntilTheNextAction)
{
    const VMBundle bundle = installedBundle();
    VMConsoleViewModel &model = console(bundle.id());
    waitForOutcome(model.start()).get();
    waitForOutcome(model.saveState()).get();
    EXPECT_EQ(model.errorMessage(), QStringLiteral("Saved the state of Dev"));
    EXPECT_EQ(model.messageKind(), MessageKind::information);
    EXPECT_TRUE(store().bundle(bundle.id())->metadata.hasSavedState);

    waitForOutcome(model.stop()).get();
    EXPECT_EQ(model.errorMessage(), std::nullopt);
    waitForOutcome(model.resume()).get();
    EXPECT_EQ(model.messageKind(), MessageKind::failure) << "a failure after news is told as a failure";
}

TEST_F(VMConsoleViewModelTest, TheConsoleFollowsTheSessionThatReplacedItsOwn)
{
    const VMBundle bundle = installedBundle();
    VMConsoleViewModel &model = console(bundle.id());
    const std::shared_ptr<VirtualMachineSession> original = model.session();
    QSignalSpy changes(&model, &VMConsoleViewModel::sessionChanged);

    // Saving settings drops the session; Start in the open console then runs a new one, which it shows.
    VMStoppedSettings settings;
    settings.cpuCount = 2;
    settings.memorySizeBytes = gibibyte;
    settings.displayWidth = 1280;
    settings.displayHeight = 800;
    settings.displayPixelsPerInch = 80;
    ASSERT_EQ(failureText([&] { coordinator().updateStoppedSettings(bundle.id(), settings); }), QString());
    waitForOutcome(model.start()).get();
    EXPECT_EQ(model.errorMessage(), std::nullopt);
    EXPECT_NE(model.session(), original);
    EXPECT_EQ(model.session(), coordinator().sessions().session(bundle.id()));
    EXPECT_EQ(model.session()->runtimeState(), VMRuntimeState::running);
    EXPECT_GE(changes.count(), 1);

    // A start from elsewhere after a stop and a session drop is followed too.
    ASSERT_FALSE(waitForOutcome(coordinator().stop(bundle.id())).failure);
    coordinator().removeSession(bundle.id());
    ASSERT_EQ(startFailure(bundle.id(), false), QString());
    EXPECT_EQ(model.session(), coordinator().sessions().session(bundle.id()));

    waitForOutcome(model.stop()).get();
    EXPECT_EQ(model.session()->runtimeState(), VMRuntimeState::stopped);
    EXPECT_EQ(storedState(bundle.id()), VMRuntimeState::stopped);
    model.close();
    EXPECT_EQ(m_closes, 1);
}

TEST_F(VMConsoleViewModelTest, ItRelaysOnlyTheSessionItDrivesAndSaysWhileAnActionRuns)
{
    const VMBundle bundle = installedBundle();
    VMConsoleViewModel &model = console(bundle.id());
    const std::shared_ptr<VirtualMachineSession> original = model.session();
    QSignalSpy state(&model, &VMConsoleViewModel::stateChanged);
    QSignalSpy busy(&model, &VMConsoleViewModel::busyChanged);
    original->setRuntimeState(VMRuntimeState::error);
    EXPECT_EQ(state.count(), 1);
    EXPECT_EQ(model.runtimeState(), VMRuntimeState::error);
    EXPECT_EQ(model.actionInputs().bundle->metadata.runtimeState, VMRuntimeState::error) << "the actions follow the session, not the stored bundle";
    original->setRuntimeState(VMRuntimeState::stopped);

    // A start drops the stale session: the console drives the new one and no longer hears the old.
    // Its stop answers a turn of the event loop later, so it is seen running.
    m_machines.script().enqueue(VirtualMachineScript::Operation::stop, ScriptedAnswer::success(1ms));
    coordinator().removeSession(bundle.id());
    ASSERT_EQ(startFailure(bundle.id(), false), QString());
    ASSERT_NE(model.session(), original);
    state.clear();
    original->setRuntimeState(VMRuntimeState::paused);
    EXPECT_EQ(state.count(), 0);
    EXPECT_EQ(model.runtimeState(), VMRuntimeState::running);

    EXPECT_FALSE(model.isBusy());
    QCoro::Task<> stopping = model.stop();
    EXPECT_TRUE(model.isBusy());
    waitForOutcome(std::move(stopping)).get();
    EXPECT_FALSE(model.isBusy());
    EXPECT_EQ(busy.count(), 2);
    EXPECT_GE(state.count(), 1) << "the new session's stop was relayed";
}

TEST_F(VMConsoleViewModelTest, APauseOrResumeIsStoredEvenWhenTheConsoleClosesWhileTheMachineIsBusy)
{
    const VMBundle bundle = installedBundle();
    ASSERT_EQ(startFailure(bundle.id(), false), QString());
    const struct {
        const char *name;
        Operation operation;
        QCoro::Task<> (VMConsoleViewModel::*action)();
        VMRuntimeState reached;
    } cases[] = {
        {"pause", Operation::pause, &VMConsoleViewModel::pause, VMRuntimeState::paused},
        {"resume", Operation::resume, &VMConsoleViewModel::resume, VMRuntimeState::running},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.name);
        m_machines.lastMachine()->script().enqueue(testCase.operation, ScriptedAnswer::success(50ms));
        QCoro::Task<> waiting = (console(bundle.id()).*testCase.action)();
        m_console.reset(); // the console window closes before the machine answers
        waitForOutcome(std::move(waiting)).get();
        EXPECT_EQ(coordinator().sessions().session(bundle.id())->runtimeState(), testCase.reached);
        EXPECT_EQ(storedState(bundle.id()), testCase.reached) << "the stored state follows the machine";
    }
}

TEST(ConsoleTextsTest, TheStoppedHintNamesTheGuestsSystem)
{
    const struct {
        std::optional<VMGuestOSType> guest;
        const char *hint;
    } cases[] = {
        {std::nullopt, "Start the virtual machine to attach the live macOS display here."},
        {VMGuestOSType::macOS, "Start the virtual machine to attach the live macOS display here."},
        {VMGuestOSType::linux, "Start the virtual machine to attach the live Linux display here."},
        {VMGuestOSType::windows, "Start the virtual machine to attach the live Windows display here."},
    };
    for (const auto &test : cases)
        EXPECT_EQ(ConsoleTexts::startHint(test.guest), QString::fromUtf8(test.hint));
}

} // namespace
