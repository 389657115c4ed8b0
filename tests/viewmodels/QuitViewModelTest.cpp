// SPDX-License-Identifier: MIT
#include "QuitViewModel.h"

#include "EventLoopWait.h"
#include "ViewModelTestFixture.h"

#include <QSignalSpy>

namespace {

using namespace CoordinatorTesting;
using namespace std::chrono_literals;

class QuitViewModelTest : public ViewModelTest
{
protected:
    /// An installed VM running on a scripted machine, or through QEMU for a Windows guest.
    VMBundle runningVM(const QString &name, VMGuestOSType guest = VMGuestOSType::linux)
    {
        const VMBundle bundle = storeChanged(installedBundle(name).id(), [guest](VMBundle &changed) { changed.metadata.guestOSType = guest; });
        if (guest == VMGuestOSType::windows)
            waitForOutcome(coordinator().startWithQEMU(bundle.id())).get();
        else
            EXPECT_EQ(startFailure(bundle.id(), false), QString());
        EXPECT_EQ(storedState(bundle.id()), VMRuntimeState::running);
        return bundle;
    }

    static QStringList names(const QList<VMBundle> &bundles)
    {
        QStringList result;
        for (const VMBundle &bundle : bundles)
            result << bundle.metadata.name;
        result.sort();
        return result;
    }
};

TEST_F(QuitViewModelTest, QuittingStopsEveryVMThatRunsWindowsGuestsOnQEMUIncluded)
{
    const VMBundle linux = runningVM(QStringLiteral("Dev"));
    const VMBundle windows = runningVM(QStringLiteral("Win"), VMGuestOSType::windows);
    const VMBundle idle = installedBundle(QStringLiteral("Idle"));
    QuitViewModel quit(store(), coordinator(), m_logging);
    EXPECT_EQ(names(quit.runningVMs()), (QStringList{QStringLiteral("Dev"), QStringLiteral("Win")}));

    QSignalSpy stopping(&quit, &QuitViewModel::isStoppingChanged);
    waitForOutcome(quit.stopRunningVMs()).get();
    EXPECT_EQ(stopping.count(), 2);
    EXPECT_FALSE(quit.isStopping());
    EXPECT_TRUE(quit.runningVMs().isEmpty());
    EXPECT_TRUE(m_qemu.running.isEmpty()) << "the Windows guest's QEMU was stopped as the Stop action does";
    EXPECT_EQ(m_machines.lastMachine()->calls().last(), Operation::stop);
    for (const VMBundle &bundle : {linux, windows, idle}) {
        SCOPED_TRACE(bundle.metadata.name.toStdString());
        EXPECT_EQ(storedState(bundle.id()), VMRuntimeState::stopped);
        EXPECT_FALSE(bundleLog(bundle.bundleURL).contains(QStringLiteral("on quitting"))) << "a clean stop needs no correction";
    }
}

TEST_F(QuitViewModelTest, AStopThatFailsOrNeverEndsInTimeStillLeavesTheVMRecordedAsStopped)
{
    const VMBundle failing = runningVM(QStringLiteral("Failing"));
    m_machines.lastMachine()->script().enqueue(Operation::stop,
                                               ScriptedAnswer::failure(VirtualizationError(VirtualizationError::Code::internalError, QStringLiteral("stuck"))));
    const VMBundle slow = runningVM(QStringLiteral("Slow"));
    m_machines.lastMachine()->script().enqueue(Operation::stop, ScriptedAnswer::success(1500ms));
    QuitViewModel quit(store(), coordinator(), m_logging, 100ms);

    waitForOutcome(quit.stopRunningVMs()).get();
    EXPECT_FALSE(quit.isStopping()) << "the quit does not wait for a stop that takes too long";
    EXPECT_EQ(coordinator().sessions().session(slow.id())->runtimeState(), VMRuntimeState::stopping);
    const struct {
        VMBundle vm;
        const char *why;
    } cases[] = {
        {failing, "Could not stop Failing on quitting: "},
        {slow, "Slow did not stop within 1 seconds of quitting"},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.vm.metadata.name.toStdString());
        EXPECT_EQ(storedState(testCase.vm.id()), VMRuntimeState::stopped);
        const QString log = bundleLog(testCase.vm.bundleURL);
        EXPECT_TRUE(log.contains(QString::fromUtf8(testCase.why))) << log.toStdString();
        EXPECT_TRUE(log.contains(QStringLiteral("Recorded ") + testCase.vm.metadata.name + QStringLiteral(" as stopped on quitting"))) << log.toStdString();
    }

    // The stop that was given up on ends later and agrees.
    ASSERT_TRUE(EventLoopWait::waitUntil([&] { return coordinator().sessions().session(slow.id())->runtimeState() == VMRuntimeState::stopped; }));
    EXPECT_EQ(storedState(slow.id()), VMRuntimeState::stopped);
}

} // namespace
