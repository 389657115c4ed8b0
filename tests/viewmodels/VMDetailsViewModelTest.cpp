// SPDX-License-Identifier: MIT
#include "VMDetailsViewModel.h"

#include "DiskExpansionPlan.h"
#include "DisplayFormatters.h"
#include "QEMUSetupService.h"
#include "TestFiles.h"
#include "VMDetailsActions.h"
#include "ViewModelTestFixture.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>

#include <sys/stat.h>

#include <cmath>
#include <limits>

namespace {

using namespace CoordinatorTesting;

class VMDetailsViewModelTest : public ViewModelTest
{
protected:
    VMDetailsViewModel &details(const QUuid &id, QEMUSetupService *qemuSetup = nullptr)
    {
        m_details = makeDetails(id, qemuSetup);
        return *m_details;
    }

    int detailsLines() const { return int(appLog().count(QStringLiteral("[Details] "))); }

    /// A setup service that counts QEMU as installed once `m_qemuProgram` exists, and downloads from nowhere.
    std::unique_ptr<QEMUSetupService> qemuSetup()
    {
        QEMUSetupService::Source source{QUrl(QStringLiteral("http://127.0.0.1:9")), QStringLiteral("none/qemu"), QStringLiteral("00")};
        QEMUSetupService::Places places{m_home.path() + QStringLiteral("/QEMU"), m_home.path(), {m_qemuProgram}};
        return std::make_unique<QEMUSetupService>(m_logging, source, places);
    }

    const QString m_qemuProgram = m_home.path() + QStringLiteral("/bin/qemu-system-aarch64");
    std::unique_ptr<VMDetailsViewModel> m_details;
};

TEST_F(VMDetailsViewModelTest, AStartPublishesTheSessionAndARefusalIsShownAndLogged)
{
    const VMBundle bundle = installedBundle();
    VMDetailsViewModel &model = details(bundle.id());
    QSignalSpy busy(&model, &VMDetailsViewModel::isBusyChanged);
    waitForOutcome(model.start()).get();
    ASSERT_TRUE(model.activeConsoleSession());
    EXPECT_EQ(model.activeConsoleSession()->runtimeState(), VMRuntimeState::running);
    EXPECT_EQ(model.errorMessage(), std::nullopt);
    EXPECT_FALSE(model.isBusy());
    EXPECT_EQ(busy.count(), 2);
    EXPECT_EQ(model.runtimeStateText(), QStringLiteral("Running"));

    const int lines = detailsLines();
    waitForOutcome(model.start()).get();
    EXPECT_EQ(model.errorMessage(), refused("The virtual machine is already active."));
    EXPECT_EQ(detailsLines(), lines + 1);

    waitForOutcome(model.stop()).get();
    EXPECT_EQ(model.errorMessage(), std::nullopt);
    EXPECT_EQ(model.runtimeStateText(), QStringLiteral("Stopped"));
    waitForOutcome(model.stop()).get();
    EXPECT_EQ(model.errorMessage(), std::nullopt) << "stopping a stopped VM is no error";
}

TEST_F(VMDetailsViewModelTest, AMachineThatDiesWhileSavingIsShownInErrorWithNothingToResume)
{
    const VMBundle bundle = installedBundle();
    VMDetailsViewModel &model = details(bundle.id());
    waitForOutcome(model.start()).get();
    ScriptedVirtualMachine *machine = m_machines.lastMachine();
    QObject::connect(machine, &VirtualMachine::stateChanged, machine, [machine](VirtualMachine::State state) {
        if (state == VirtualMachine::State::saving)
            machine->raiseDidStopWithError(
                VirtualizationError(VirtualizationError::Code::internalError, QStringLiteral("QEMU stopped unexpectedly (killed by a signal).")));
    });

    waitForOutcome(model.saveState()).get();
    settle();
    ASSERT_TRUE(model.errorMessage());
    EXPECT_TRUE(model.errorMessage()->startsWith(QStringLiteral("The VM state could not be saved: "))) << model.errorMessage()->toStdString();
    EXPECT_EQ(model.runtimeStateText(), QStringLiteral("Error"));
    EXPECT_FALSE(model.isPaused());
    QStringList enabled;
    for (const VMDetailsActionState &state : VMDetailsActions::states(model))
        if (state.enabled)
            enabled << VMDetailsActions::key(state.action);
    EXPECT_FALSE(enabled.contains(QStringLiteral("resume"))) << enabled.join(u' ').toStdString();
    EXPECT_FALSE(enabled.contains(QStringLiteral("saveState"))) << enabled.join(u' ').toStdString();
    EXPECT_TRUE(enabled.contains(QStringLiteral("stop"))) << "a failed machine can still be cleared away";
}

TEST_F(VMDetailsViewModelTest, AWindowsVMStartsOnQEMUOnceTheHostHasIt)
{
    const VMBundle windows =
        storeChanged(installedBundle(QStringLiteral("Windows")).id(), [](VMBundle &changed) { changed.metadata.guestOSType = VMGuestOSType::windows; });
    const std::unique_ptr<QEMUSetupService> setup = qemuSetup();
    VMDetailsViewModel &model = details(windows.id(), setup.get());

    QSignalSpy console(&model, &VMDetailsViewModel::consoleRequested);
    // Nothing installed, and the download cannot reach its server: the apt command is the way.
    waitForOutcome(model.start()).get();
    EXPECT_EQ(model.errorMessage(),
              QStringLiteral("The virtual machine encountered an error: QEMU could not be installed automatically. Install manually with: sudo apt install "
                             "qemu-system-arm qemu-efi-aarch64 swtpm"));
    EXPECT_FALSE(model.isQEMURunning());

    // Installed with apt meanwhile: the start re-checks and goes ahead.
    write(m_qemuProgram, QByteArray("#!/bin/sh\n"));
    QSignalSpy running(&model, &VMDetailsViewModel::isQEMURunningChanged);
    waitForOutcome(model.start()).get();
    EXPECT_EQ(model.errorMessage(), std::nullopt);
    EXPECT_TRUE(model.isQEMURunning());
    EXPECT_EQ(running.count(), 1);
    EXPECT_EQ(model.runtimeStateText(), QStringLiteral("Running")) << "a Windows VM under QEMU shows running";
    EXPECT_FALSE(model.activeConsoleSession());
    EXPECT_EQ(console.count(), 1) << "only the start that ran asks for the console, which has no session to publish";

    waitForOutcome(model.stop()).get();
    EXPECT_FALSE(model.isQEMURunning());
    EXPECT_EQ(model.runtimeStateText(), QStringLiteral("Stopped"));
}

TEST_F(VMDetailsViewModelTest, AWindowsVMStartsOnQEMUWithoutASetupServiceToo)
{
    const VMBundle windows =
        storeChanged(installedBundle(QStringLiteral("Windows")).id(), [](VMBundle &changed) { changed.metadata.guestOSType = VMGuestOSType::windows; });
    VMDetailsViewModel &model = details(windows.id());
    QSignalSpy console(&model, &VMDetailsViewModel::consoleRequested);
    waitForOutcome(model.start()).get();
    EXPECT_EQ(model.errorMessage(), std::nullopt);
    EXPECT_TRUE(model.isQEMURunning());
    EXPECT_EQ(console.count(), 1);
}

TEST_F(VMDetailsViewModelTest, BusyStaysOnWhileAnyActionRunsAndASecondPressIsIgnored)
{
    const VMBundle bundle = installedBundle();
    VMDetailsViewModel &model = details(bundle.id());
    m_machines.script().enqueue(Operation::start, ScriptedAnswer::success(std::chrono::milliseconds(300)));
    QCoro::Task<> starting = model.start();
    ASSERT_TRUE(model.isBusy());
    waitForOutcome(model.start()).get();
    EXPECT_EQ(model.errorMessage(), std::nullopt) << "the second press was not sent";
    waitForOutcome(model.discardSavedState()).get(); // a quick action ends while the start still runs
    EXPECT_TRUE(model.isBusy());
    waitForOutcome(std::move(starting)).get();
    EXPECT_FALSE(model.isBusy());
    EXPECT_EQ(m_machines.configurations().size(), 1);
}

TEST_F(VMDetailsViewModelTest, DiskExpansionRefusesImpossibleSizesAndShowsTheNewCapacityAtOnce)
{
    const VMBundle bundle = installedBundle();
    VMDetailsViewModel &model = details(bundle.id());
    const quint64 before = store().bundle(bundle.id())->metadata.diskSizeBytes;
    const struct {
        double gigabytes;
        const char *refusal;
    } refusals[] = {
        {std::nan(""), "Choose a disk size of a sensible number of GB."},
        {std::numeric_limits<double>::infinity(), "Choose a disk size of a sensible number of GB."},
        {17179869184.0, "Choose a disk size of a sensible number of GB."},
        {0, "Choose a disk size larger than the current virtual capacity."},
        {-3, "Choose a disk size larger than the current virtual capacity."},
    };
    for (const auto &[gigabytes, refusal] : refusals) {
        SCOPED_TRACE(gigabytes);
        waitForOutcome(model.expandDisk(gigabytes)).get();
        EXPECT_EQ(model.errorMessage(), refused(refusal));
        EXPECT_EQ(store().bundle(bundle.id())->metadata.diskSizeBytes, before);
    }
    waitForOutcome(model.expandDisk(64.2)).get();
    EXPECT_EQ(model.errorMessage(), std::nullopt);
    EXPECT_EQ(store().bundle(bundle.id())->metadata.diskSizeBytes, 65 * gibibyte);
    EXPECT_EQ(model.virtualCapacityText(), DisplayFormatters::byteCountText(65 * gibibyte)) << "before the store's list arrives";
    EXPECT_EQ(model.diskUsage()->logicalSizeBytes, 65 * gibibyte);
    EXPECT_TRUE(model.lastDiskExpansionAutomationMessage()->startsWith(QStringLiteral("The VM disk was expanded")));
}

TEST_F(VMDetailsViewModelTest, TheInstallStateFollowsTheInstallerRunAndWhatItLeftOnTheDisk)
{
    const VMBundle bundle = storeChanged(installedBundle().id(), [](VMBundle &changed) { changed.metadata.guestOSType = VMGuestOSType::linux; });
    VMDetailsViewModel &model = details(bundle.id());
    settle();
    const auto enabled = [&model](VMDetailsAction action) {
        for (const VMDetailsActionState &state : VMDetailsActions::states(model))
            if (state.action == action)
                return state.enabled;
        return false;
    };
    EXPECT_EQ(model.installStateText(), QStringLiteral("Ready to Install"));
    EXPECT_FALSE(enabled(VMDetailsAction::expandDisk)) << "no system on the disk to grow yet";
    EXPECT_FALSE(enabled(VMDetailsAction::diskGuide));
    EXPECT_FALSE(enabled(VMDetailsAction::guestTools));

    addSession(bundle, VMRuntimeState::running);
    settle();
    EXPECT_EQ(model.installStateText(), QStringLiteral("Installer Running"));

    // The installer writes the system, and the VM stops.
    QFile disk(bundle.layout().diskImageURL());
    ASSERT_TRUE(disk.open(QIODevice::ReadWrite));
    ASSERT_EQ(disk.write(QByteArray(1 << 20, 's')), 1 << 20);
    disk.close();
    waitForOutcome(model.stop()).get();
    settle();
    EXPECT_EQ(model.installStateText(), QStringLiteral("Installed"));
    EXPECT_TRUE(enabled(VMDetailsAction::expandDisk));
    EXPECT_TRUE(enabled(VMDetailsAction::diskGuide));
    EXPECT_TRUE(enabled(VMDetailsAction::guestTools));
}

TEST_F(VMDetailsViewModelTest, ATypedDiskCapacityReadsBackAsTyped)
{
    const VMBundle bundle = installedBundle();
    VMDetailsViewModel &model = details(bundle.id());
    const DiskExpansionPlan plan(model.bundle()->metadata.diskSizeBytes);
    ASSERT_EQ(plan.maximumCapacityGB(), 256);
    waitForOutcome(model.expandDisk(plan.normalized(256))).get();
    ASSERT_EQ(model.errorMessage(), std::nullopt);
    EXPECT_EQ(store().bundle(bundle.id())->metadata.diskSizeBytes, 256 * gibibyte);
    EXPECT_EQ(model.virtualCapacityText(), QStringLiteral("256 GB"));
    EXPECT_TRUE(model.hardwareSummary().endsWith(QStringLiteral(" • 256 GB"))) << model.hardwareSummary().toStdString();
    EXPECT_TRUE(model.diskCapacitySummary().startsWith(QStringLiteral("Virtual capacity is 256 GB"))) << model.diskCapacitySummary().toStdString();
    EXPECT_FALSE(model.hostAllocationText().contains(QStringLiteral("Zero"))) << "a disk the guest never wrote to holds no bytes on the host";
}

TEST_F(VMDetailsViewModelTest, ARemovedVMLeavesNoDiskUsageAndTheLogKnowsOfEachRefresh)
{
    const VMBundle bundle = installedBundle();
    VMDetailsViewModel &model = details(bundle.id());
    QSignalSpy reloaded(&model, &VMDetailsViewModel::reloaded);
    waitForOutcome(model.reload()).get();
    EXPECT_TRUE(appLog().contains(QStringLiteral("[Details] Refreshed details for ") + bundle.id().toString(QUuid::WithoutBraces).toUpper()));
    EXPECT_EQ(reloaded.count(), 1) << "the panels measure again";

    settle(); // the reload's list
    store().deleteBundle(bundle.id());
    settle();
    EXPECT_FALSE(model.bundle());
    EXPECT_EQ(model.displayTitle(), QStringLiteral("Virtual Machine"));
    EXPECT_FALSE(model.diskUsage());
}

} // namespace
