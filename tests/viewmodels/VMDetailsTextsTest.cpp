// SPDX-License-Identifier: MIT
#include "VMDetailsTexts.h"

#include "VMDetailsActions.h"

#include "QtPrinters.h"
#include "TemporaryHome.h"
#include "TestBundle.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

using namespace VMDetailsTexts;
constexpr quint64 gibibyte = quint64(1) << 30;

/// An installed Linux VM with 2 CPUs, 4 GiB of memory, a 64 GiB disk and a 1920 x 1200 display.
TestBundle dev()
{
    return TestBundle(QStringLiteral("/nowhere/Dev.vm"))
        .guest(VMGuestOSType::linux)
        .installed()
        .cpus(2)
        .memory(4 * gibibyte)
        .disk(64 * gibibyte)
        .display(1920, 1200);
}

VMBundle bundleOf(const std::function<void(VMMetadata &)> &change = {})
{
    VMBundle bundle = dev();
    if (change)
        change(bundle.metadata);
    return bundle;
}

TEST(VMDetailsTextsTest, AVMTheLibraryDoesNotHoldReadsAsNothing)
{
    const Bundle none;
    EXPECT_EQ(displayTitle(none), QStringLiteral("Virtual Machine"));
    EXPECT_EQ(runtimeStateText(none), QStringLiteral("Stopped"));
    EXPECT_EQ(installStateText(none, std::nullopt), QStringLiteral("Not Installed"));
    EXPECT_EQ(hardwareSummary(none), QString());
    EXPECT_EQ(displaySummary(none), QStringLiteral("Unknown"));
    EXPECT_EQ(virtualCapacityText(none, std::nullopt), QStringLiteral("0 bytes"));
    EXPECT_EQ(hostAllocationText(std::nullopt), QStringLiteral("Unavailable"));
    EXPECT_EQ(settingsChangeBlockReason(none), QStringLiteral("The selected VM is unavailable."));
    EXPECT_EQ(diskCapacityChangeBlockReason(none), QStringLiteral("The selected VM is unavailable."));
    EXPECT_EQ(microphoneSummary(none), QStringLiteral("Disabled"));
    EXPECT_EQ(speakerSummary(none), QStringLiteral("Enabled via host default output"));
    EXPECT_EQ(networkSummary(none), QStringLiteral("Shared NAT"));
    EXPECT_EQ(linuxInstallMediaSummary(none), QStringLiteral("Unknown"));
}

TEST(VMDetailsTextsTest, AGuestWhoseDiskHoldsNothingIsReadyToInstallNotInstalled)
{
    const DiskImageService::DiskUsage blank{16 * gibibyte, quint64(0)};
    const DiskImageService::DiskUsage written{16 * gibibyte, 5 * gibibyte};
    const DiskImageService::DiskUsage unmeasured{16 * gibibyte, std::nullopt};
    const struct {
        TestBundle bundle;
        DiskUsage usage;
        const char *text;
    } cases[] = {
        {dev(), blank, "Ready to Install"},
        {dev().guest(VMGuestOSType::windows), blank, "Ready to Install"},
        {dev().runState(VMRuntimeState::running), blank, "Installer Running"},
        {dev().runState(VMRuntimeState::running), written, "Installed"},
        {dev(), written, "Installed"},
        {dev(), unmeasured, "Installed"},
        {dev(), std::nullopt, "Installed"},
        {dev().guest(VMGuestOSType::macOS), blank, "Installed"},
        {dev().installState(VMInstallState::preparingBundle), blank, "Preparing"},
        {dev().installState(VMInstallState::failed), blank, "Failed"},
    };
    for (const auto &[bundle, usage, text] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(installStateText(VMBundle(bundle), usage), QString::fromUtf8(text));
    }
}

TEST(VMDetailsTextsTest, WhatNeedsAnInstalledSystemWaitsWhileTheDiskHoldsNone)
{
    const DiskImageService::DiskUsage blank{16 * gibibyte, quint64(0)};
    const DiskImageService::DiskUsage written{16 * gibibyte, 5 * gibibyte};
    const QString linuxFirst = QStringLiteral("Install Linux first: the VM's disk holds no system yet.");
    VMDetailsActions::Inputs inputs{VMBundle(dev()), false, GuestToolsState::notInstalled, QStringLiteral("Run the installer."),
                                    guestInstallPendingReason(VMBundle(dev()), blank)};
    EXPECT_EQ(inputs.guestInstallPending, linuxFirst);
    for (const VMDetailsActionState &state : VMDetailsActions::states(inputs)) {
        if (state.action == VMDetailsAction::expandDisk || state.action == VMDetailsAction::diskGuide
            || state.action == VMDetailsAction::guestTools) {
            SCOPED_TRACE(state.title.toStdString());
            EXPECT_FALSE(state.enabled);
            EXPECT_EQ(state.help, linuxFirst);
        }
    }
    inputs.guestInstallPending = guestInstallPendingReason(VMBundle(dev()), written);
    EXPECT_FALSE(inputs.guestInstallPending);
    for (VMDetailsAction action : {VMDetailsAction::expandDisk, VMDetailsAction::diskGuide, VMDetailsAction::guestTools})
        EXPECT_TRUE(VMDetailsActions::isEnabled(inputs, action)) << VMDetailsActions::key(action).toStdString();
    EXPECT_FALSE(guestInstallPendingReason(VMBundle(dev().guest(VMGuestOSType::macOS)), blank));
    EXPECT_EQ(guestInstallPendingReason(VMBundle(dev().guest(VMGuestOSType::windows)), blank),
              QStringLiteral("Install Windows first: the VM's disk holds no system yet."));
}

TEST(VMDetailsTextsTest, HardwareAndDisplayTexts)
{
    const QString sizes = QStringLiteral(" • 4 GB • 64 GB");
    EXPECT_EQ(hardwareSummary(dev().cpus(1)), QStringLiteral("1 CPU") + sizes);
    EXPECT_EQ(hardwareSummary(dev()), QStringLiteral("2 CPUs") + sizes);
    EXPECT_EQ(displaySummary(dev()), QStringLiteral("1920 x 1200 start size, auto-resizes with console window"));
    EXPECT_EQ(displaySummary(dev().guest(VMGuestOSType::windows)), QStringLiteral("Set within Windows"));
    EXPECT_EQ(runtimeStateText(dev().runState(VMRuntimeState::restoring)), QStringLiteral("Restoring State"));
    const DiskImageService::DiskUsage usage{64 * gibibyte, std::nullopt};
    EXPECT_EQ(diskCapacitySummary(usage), QStringLiteral("Virtual capacity is 64 GB. Host allocation is currently unavailable."));
    // The overview's Host Space Used counts the whole bundle: this figure names the disk image it is about.
    EXPECT_EQ(diskCapacitySummary(DiskImageService::DiskUsage{64 * gibibyte, quint64(0)}),
              QStringLiteral("Virtual capacity is 64 GB; the disk image currently uses 0 bytes of host storage."));
    EXPECT_EQ(diskCapacitySummary(std::nullopt), QStringLiteral("The VM disk stays sparse on the host and grows only as the guest writes data."));
}

TEST(VMDetailsTextsTest, GuardsAreCheckedInTheirOrder)
{
    const struct {
        const char *name;
        std::function<void(VMMetadata &)> change;
        std::optional<QString> settings;
    } cases[] = {
        {"changeable", {}, std::nullopt},
        {"install failed while running",
         [](VMMetadata &m) {
             m.installState = VMInstallState::failed;
             m.runtimeState = VMRuntimeState::running;
         },
         QStringLiteral("Finish installing Linux before changing VM settings.")},
        {"running with saved state",
         [](VMMetadata &m) {
             m.runtimeState = VMRuntimeState::running;
             m.hasSavedState = true;
         },
         QStringLiteral("Stop the VM before changing VM settings.")},
        {"stopped with saved state", [](VMMetadata &m) { m.hasSavedState = true; }, QStringLiteral("Discard the saved state before changing VM settings.")},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const Bundle bundle = bundleOf(testCase.change);
        EXPECT_EQ(settingsChangeBlockReason(bundle), testCase.settings);
        if (testCase.settings) {
            EXPECT_EQ(diskCapacityChangeBlockReason(bundle), QString(*testCase.settings).replace(QStringLiteral("VM settings"), QStringLiteral("disk capacity")));
        }
    }
}

TEST(VMDetailsTextsTest, LimitsFollowTheHostAndNeverHideTheVMsOwnValue)
{
    const struct {
        qint64 processors;
        quint64 memory;
        qint64 vmCPUs;
        quint64 vmMemory;
        qint64 maximumCPUs;
        double maximumGB;
    } cases[] = {
        {1, 8 * gibibyte, 1, 2 * gibibyte, 2, 6},
        {24, 16 * gibibyte, 4, 4 * gibibyte, 16, 12},
        {24, 256 * gibibyte, 20, 200 * gibibyte, 20, 200},
        {8, 256 * gibibyte, 2, 4 * gibibyte, 8, 192},
    };
    for (const auto &testCase : cases) {
        const Bundle bundle = bundleOf([&](VMMetadata &m) {
            m.cpuCount = testCase.vmCPUs;
            m.memorySizeBytes = testCase.vmMemory;
        });
        const HostCapacity host{testCase.processors, testCase.memory};
        EXPECT_EQ(maximumCPUCount(bundle, host), testCase.maximumCPUs);
        EXPECT_DOUBLE_EQ(maximumMemorySizeGB(bundle, host), testCase.maximumGB);
    }
    EXPECT_EQ(maximumCPUCount(std::nullopt, HostCapacity{2, 8 * gibibyte}), 4);
}

TEST(VMDetailsTextsTest, GuestToolsTexts)
{
    const QDateTime now(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC);
    const auto status = [&](VMGuestAutomationAvailability availability, std::optional<QString> version, qint64 pending, std::optional<bool> success) {
        VMGuestAutomationStatusSnapshot snapshot;
        snapshot.availability = availability;
        snapshot.reportedVersion = std::move(version);
        snapshot.lastSeenAt = now.addSecs(-120);
        snapshot.pendingRequestCount = pending;
        if (success) {
            VMGuestAutomationResponse response;
            response.success = *success;
            snapshot.latestResponse = response;
        }
        return snapshot;
    };
    using A = VMGuestAutomationAvailability;
    const struct {
        VMGuestAutomationStatusSnapshot snapshot;
        GuestToolsState state;
        const char *summary;
    } cases[] = {
        {status(A::installed, QStringLiteral("3"), 0, std::nullopt), GuestToolsState::installed, "Installed • v3 • last seen 2 minutes ago"},
        {status(A::installed, QStringLiteral("3.0"), 1, false), GuestToolsState::updateAvailable,
         "Update available • v3.0 • current v3 • last seen 2 minutes ago • 1 queued action • Last action failed"},
        {status(A::installed, std::nullopt, 3, true), GuestToolsState::updateAvailable,
         "Update available • last seen 2 minutes ago • 3 queued actions • Last action succeeded"},
        {status(A::notInstalled, std::nullopt, 0, std::nullopt), GuestToolsState::notInstalled, "Not installed"},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.summary);
        EXPECT_EQ(guestToolsState(testCase.snapshot), testCase.state);
        EXPECT_EQ(guestToolsStatusSummary(testCase.snapshot, now), QString::fromUtf8(testCase.summary));
    }
    EXPECT_EQ(guestToolsInstructions(VMGuestAutomationStatusSnapshot::empty(), dev()),
              QStringLiteral("Mount duvuzodovevav-shared at /mnt/duvuzodovevav, then run sudo bash /mnt/duvuzodovevav/KestrumAutomation/install-linux-tools.sh"));
    EXPECT_EQ(guestToolsVersionText(cases[1].snapshot), QStringLiteral("Installed version: 3.0 • Current host-staged version: 3"));
}

TEST(VMDetailsTextsTest, TheLinuxInstallSourceIsNamedByTheFirstRuleThatApplies)
{
    TemporaryHome home;
    VMBundle bundle = dev();
    bundle.bundleURL = home.path() + QStringLiteral("/Dev.vm");
    EXPECT_EQ(linuxInstallMediaSummary(bundle), QStringLiteral("Linux ISO"));
    QDir().mkpath(bundle.bundleURL);
    QFile(bundle.layout().linuxInstallISOURL()).open(QIODevice::WriteOnly);
    EXPECT_EQ(linuxInstallMediaSummary(bundle), QStringLiteral("Linux ISO (LinuxInstall.iso)"));
    bundle.metadata.guestOSDisplayName = QStringLiteral("Debian 12");
    EXPECT_EQ(linuxInstallMediaSummary(bundle), QStringLiteral("Linux ISO (Debian 12)"));
    bundle.metadata.installSourceSummary = QStringLiteral("Ubuntu 24.04 (downloaded)");
    EXPECT_EQ(linuxInstallMediaSummary(bundle), QStringLiteral("Ubuntu 24.04 (downloaded)"));
}

TEST(VMDetailsTextsTest, AWindowsVMNamesTheImageItWasMadeFrom)
{
    TemporaryHome home;
    VMBundle bundle = dev().guest(VMGuestOSType::windows).installSource(VMInstallSource::latestSupportedAutomatic());
    bundle.bundleURL = home.path() + QStringLiteral("/Win.vm");
    EXPECT_EQ(linuxInstallMediaSummary(bundle), QStringLiteral("Windows ISO"));
    QDir().mkpath(bundle.bundleURL);
    QFile(bundle.layout().windowsInstallISOURL()).open(QIODevice::WriteOnly);
    EXPECT_EQ(linuxInstallMediaSummary(bundle), QStringLiteral("Windows ISO (WindowsInstall.iso)"));
    bundle.metadata.installSourceSummary = QStringLiteral("Windows ISO (Win11_24H2_English_Arm64.iso)");
    EXPECT_EQ(linuxInstallMediaSummary(bundle), QStringLiteral("Windows ISO (Win11_24H2_English_Arm64.iso)"));

    // A macOS bundle keeps its restore-image source.
    bundle.metadata.installSourceSummary.reset();
    bundle.metadata.guestOSType = VMGuestOSType::macOS;
    EXPECT_EQ(linuxInstallMediaSummary(bundle), QStringLiteral("Latest Supported macOS"));
}

TEST(VMDetailsTextsTest, TheBundleLayoutAndGuestLineFollowTheKindOfGuest)
{
    const char *macOSRows = "Disk Image: Disk.img|Auxiliary Storage: AuxiliaryStorage|Machine Identifier: MachineIdentifier.bin|"
                            "Hardware Model: HardwareModel.bin";
    const char *linuxRows = "Disk Image: Disk.img|EFI Variable Store: EFIVariableStore.bin|Boot Configuration: LinuxBoot.json";
    const struct {
        const char *what;
        Bundle bundle;
        const char *rows;
        const char *guestLine;
    } cases[] = {
        {"no bundle", std::nullopt, macOSRows, "macOS VM"},
        {"macOS", dev().guest(VMGuestOSType::macOS), macOSRows, "macOS VM"},
        {"a bundle from before the guest kind was stored", dev().guest(std::nullopt), macOSRows, "macOS VM"},
        {"Linux", dev(), linuxRows, "Linux VM"},
        {"Windows", dev().guest(VMGuestOSType::windows),
         "Disk Image: Disk.img|Installer Image: WindowsInstall.iso|QEMU Configuration: WindowsConfig.json", "Windows VM"},
        {"a named guest", dev().guestVersion(QStringLiteral("Debian 12")), linuxRows, "Debian 12"},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        QStringList rows;
        for (const auto &[label, file] : bundleLayoutRows(testCase.bundle))
            rows << label + QStringLiteral(": ") + file;
        EXPECT_EQ(rows.join(QLatin1Char('|')), QString::fromUtf8(testCase.rows));
        EXPECT_EQ(guestDescription(testCase.bundle, u" VM"), QString::fromUtf8(testCase.guestLine));
    }
}

TEST(VMDetailsTextsTest, DiskExpansionMessages)
{
    EXPECT_TRUE(diskExpansionAutomationMessage(VMDiskExpansionAutomationOutcome::queued(true)).startsWith(QStringLiteral("Automatic filesystem expansion is queued. ")));
    EXPECT_TRUE(diskExpansionAutomationMessage(VMDiskExpansionAutomationOutcome::queued(false))
                    .startsWith(QStringLiteral("The VM disk was expanded and an automatic filesystem-expansion request is queued. Install ")));
    EXPECT_EQ(diskExpansionAutomationMessage(VMDiskExpansionAutomationOutcome::warning(QStringLiteral("as is"))), QStringLiteral("as is"));
}

} // namespace
