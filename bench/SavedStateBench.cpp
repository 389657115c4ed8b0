// SPDX-License-Identifier: MIT
// Saves and restores a running 2 GiB machine (the AArch64 firmware, no guest
// system) whose automation folder virtiofsd shares, and the same machine
// without the share, where QEMU's migration alone does the work. Prints both
// times, their ratio (the goal is at most 1.2), the state file's length and
// what it takes on disk, and QEMU's resident memory after each restore.
//
// Usage: saved_state_bench [seconds the firmware runs before the save, default 20]

#include "FileMeasurements.h"
#include "FirmwareGuestFolder.h"
#include "ProcessStatistics.h"
#include "QemuVirtualMachine.h"
#include "TaskRunner.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTest>

#include <cstdio>
#include <cstdlib>

namespace {

using namespace std::chrono_literals;

constexpr quint64 mebibyte = quint64(1) << 20;
constexpr quint64 gibibyte = quint64(1) << 30;

struct Figures {
    double saveSeconds = 0;
    double restoreSeconds = 0;
    quint64 fileLength = 0;
    quint64 fileAllocated = 0;
    quint64 residentAfterRestore = 0;
};

VirtualMachineConfiguration machine(const FirmwareGuestFolder &folder, bool sharing)
{
    VirtualMachineConfiguration configuration;
    configuration.bootLoader = EFIBootLoader{EFIVariableStore(folder.variableStore())};
    configuration.cpuCount = 2;
    configuration.memorySize = 2 * gibibyte;
    configuration.storageDevices << StorageDeviceConfiguration{StorageDeviceConfiguration::Kind::virtioBlock, {folder.disk()}};
    configuration.networkDevices << NetworkDeviceConfiguration{NATNetworkDeviceAttachment{}, std::nullopt};
    configuration.serialPorts << SerialPortConfiguration{folder.bundle(QStringLiteral("Logs/console.log"))};
    if (sharing) {
        MultipleDirectoryShare share;
        share.insert(QStringLiteral("KestrumAutomation"), {folder.bundle(QStringLiteral("Automation")), false});
        configuration.directorySharingDevices << VirtioFileSystemDeviceConfiguration{QStringLiteral("duvuzodovevav-shared"), share};
    }
    return configuration;
}

/// A running machine is paused first, as the save of a running VM does.
QCoro::Task<> pauseAndSave(QemuVirtualMachine &machine, QString stateFile)
{
    co_await machine.pause();
    co_await machine.saveMachineStateTo(stateFile);
}

double secondsOf(QCoro::Task<> task)
{
    QElapsedTimer timer;
    timer.start();
    TaskRunner::run(std::move(task), 600s);
    return double(timer.nsecsElapsed()) / 1e9;
}

Figures measure(const HostProfile &profile, const FirmwareGuestFolder &folder, bool sharing, int runSeconds)
{
    const QString stateFile = folder.bundle(QStringLiteral("SavedState/MachineState.bin"));
    QFile::remove(stateFile);
    Figures figures;
    {
        QemuVirtualMachine running(machine(folder, sharing), profile, folder.bundle(QStringLiteral("Logs")));
        TaskRunner::run(running.start(), 120s);
        QTest::qWait(runSeconds * 1000);
        figures.saveSeconds = secondsOf(pauseAndSave(running, stateFile));
        TaskRunner::run(running.stop());
    }
    figures.fileLength = FileMeasurements::fileSize(stateFile);
    figures.fileAllocated = FileMeasurements::allocatedSize(stateFile);
    QemuVirtualMachine restored(machine(folder, sharing), profile, folder.bundle(QStringLiteral("Logs")));
    figures.restoreSeconds = secondsOf(restored.restoreMachineStateFrom(stateFile));
    if (const auto reading = ProcessStatistics().read(restored.processId()))
        figures.residentAfterRestore = reading->residentBytes;
    TaskRunner::run(restored.resume());
    TaskRunner::run(restored.stop());
    return figures;
}

void print(const char *name, const Figures &figures)
{
    std::printf("%-34s save %6.2f s   restore %6.2f s   file %5llu MiB long, %5llu MiB on disk   QEMU after restore %5llu MiB\n", name,
                figures.saveSeconds, figures.restoreSeconds, static_cast<unsigned long long>(figures.fileLength / mebibyte),
                static_cast<unsigned long long>(figures.fileAllocated / mebibyte),
                static_cast<unsigned long long>(figures.residentAfterRestore / mebibyte));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const int runSeconds = argc > 1 ? std::atoi(argv[1]) : 20;
    HostProfile profile = HostProfile::detect();
    if (const auto missing = FirmwareGuestFolder::missingTools(profile)) {
        std::fprintf(stderr, "%s\n", missing->c_str());
        return 1;
    }
    if (profile.virtiofsdProgram.isEmpty() || profile.unshareProgram.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(HostProfile::virtiofsdMissingAdvice()));
        return 1;
    }
    FirmwareGuestFolder folder;
    if (!folder.prepare(profile, qint64(8 * gibibyte)) || !QDir().mkpath(folder.bundle(QStringLiteral("SavedState")))
        || !QDir().mkpath(folder.bundle(QStringLiteral("Automation")))) {
        std::fprintf(stderr, "cannot prepare the machine's folder\n");
        return 1;
    }
    try {
        const Figures shared = measure(profile, folder, true, runSeconds);
        const Figures alone = measure(profile, folder, false, runSeconds);
        std::printf("2 GiB machine, %d s in its firmware before the save, %s\n", runSeconds, qPrintable(profile.acceleratorName()));
        print("with the shared automation folder", shared);
        print("without shares (QEMU's migration)", alone);
        std::printf("ratio with/without shares: save %.2f, restore %.2f (goal: at most 1.2)\n", shared.saveSeconds / alone.saveSeconds,
                    shared.restoreSeconds / alone.restoreSeconds);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
