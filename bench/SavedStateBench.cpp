// SPDX-License-Identifier: MIT
// Saves and restores a running 2 GiB machine whose automation folder virtiofsd
// shares (guest memory is then a shared memfd), and the same machine without
// the share, on ordinary memory. Both carry the memory balloon every Linux VM
// has. It does so for a machine that sits in its AArch64 firmware and, when
// given a Linux guest's disk image, for that guest. Prints the times and their
// ratios (goals: save at most 1.2, restore at most 1.5), the state file's
// length and what it takes on disk, and QEMU's resident memory before the
// save, after it, some seconds after resuming, and after a restore.
//
// Usage: saved_state_bench [seconds the firmware runs before the save, default 20; 0 leaves it out]
//                          [Linux guest disk image] [seconds the Linux guest runs before the save, default 60]

#include "BenchSupport.h"
#include "FileMeasurements.h"
#include "FirmwareGuestFolder.h"
#include "ProcessStatistics.h"
#include "QemuVirtualMachine.h"
#include "SparseCopy.h"
#include "TaskRunner.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTest>

#include <cstdio>
#include <cstdlib>

namespace {

using namespace std::chrono_literals;

constexpr quint64 mebibyte = quint64(1) << 20;
constexpr quint64 gibibyte = quint64(1) << 30;
/// How long a resumed machine runs before its memory is measured again: a guest gives freed memory back within seconds.
constexpr int resumedSeconds = 15;

struct Figures {
    double saveSeconds = 0;
    double restoreSeconds = 0;
    quint64 fileLength = 0;
    quint64 fileAllocated = 0;
    quint64 residentBeforeSave = 0;
    quint64 residentAfterSave = 0;
    quint64 residentAfterResume = 0;
    quint64 residentAfterRestore = 0;
};

struct Guest {
    QString name;
    /// Empty for the firmware alone, on an empty disk.
    QString diskImage;
    int runSeconds = 0;
};

VirtualMachineConfiguration machine(const FirmwareGuestFolder &folder, bool sharing)
{
    VirtualMachineConfiguration configuration;
    configuration.bootLoader = EFIBootLoader{EFIVariableStore(folder.variableStore())};
    configuration.cpuCount = 2;
    configuration.memorySize = 2 * gibibyte;
    configuration.storageDevices << StorageDeviceConfiguration{StorageDeviceConfiguration::Kind::virtioBlock, {folder.disk()}};
    configuration.networkDevices << NetworkDeviceConfiguration{NATNetworkDeviceAttachment{}, std::nullopt};
    configuration.memoryBalloonDevices << MemoryBalloonDeviceConfiguration{};
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
    co_await machine.saveMachineStateTo(stateFile, VirtualMachine::SaveStart::mayRunBriefly);
}

double secondsOf(QCoro::Task<> task)
{
    QElapsedTimer timer;
    timer.start();
    TaskRunner::run(std::move(task), 600s);
    return double(timer.nsecsElapsed()) / 1e9;
}

quint64 residentBytes(const QemuVirtualMachine &machine)
{
    const auto reading = ProcessStatistics().read(machine.processId());
    return reading ? reading->residentBytes : 0;
}

/// A fresh bundle for `guest`: its own variable store and a copy of its disk, so every boot starts alike.
bool prepare(FirmwareGuestFolder &folder, HostProfile &profile, const Guest &guest)
{
    if (!folder.prepare(profile, qint64(8 * gibibyte)) || !QDir().mkpath(folder.bundle(QStringLiteral("SavedState")))
        || !QDir().mkpath(folder.bundle(QStringLiteral("Automation"))))
        return false;
    if (!guest.diskImage.isEmpty())
        SparseCopy::copyFile(guest.diskImage, folder.disk());
    return true;
}

Figures measure(HostProfile profile, const Guest &guest, bool sharing)
{
    FirmwareGuestFolder folder;
    if (!prepare(folder, profile, guest))
        throw std::runtime_error("cannot prepare the machine's folder");
    const QString stateFile = folder.bundle(QStringLiteral("SavedState/MachineState.bin"));
    Figures figures;
    {
        QemuVirtualMachine running(machine(folder, sharing), profile, folder.bundle(QStringLiteral("Logs")));
        TaskRunner::run(running.start(), 120s);
        QTest::qWait(guest.runSeconds * 1000);
        figures.residentBeforeSave = residentBytes(running);
        figures.saveSeconds = secondsOf(pauseAndSave(running, stateFile));
        figures.residentAfterSave = residentBytes(running);
        TaskRunner::run(running.resume());
        QTest::qWait(resumedSeconds * 1000);
        figures.residentAfterResume = residentBytes(running);
        TaskRunner::run(running.stop());
    }
    figures.fileLength = FileMeasurements::fileSize(stateFile);
    figures.fileAllocated = FileMeasurements::allocatedSize(stateFile);
    QemuVirtualMachine restored(machine(folder, sharing), profile, folder.bundle(QStringLiteral("Logs")));
    figures.restoreSeconds = secondsOf(restored.restoreMachineStateFrom(stateFile));
    figures.residentAfterRestore = residentBytes(restored);
    TaskRunner::run(restored.resume());
    TaskRunner::run(restored.stop());
    return figures;
}

unsigned long long mebibytes(quint64 bytes)
{
    return static_cast<unsigned long long>(bytes / mebibyte);
}

void print(const char *name, const Figures &figures)
{
    std::printf("  %-30s save %6.2f s   restore %6.2f s   file %5llu MiB long, %5llu MiB on disk\n", name, figures.saveSeconds,
                figures.restoreSeconds, mebibytes(figures.fileLength), mebibytes(figures.fileAllocated));
    std::printf("  %-30s QEMU resident: %5llu MiB before the save, %5llu MiB after it, %5llu MiB %d s after resuming, %5llu MiB after a restore\n",
                "", mebibytes(figures.residentBeforeSave), mebibytes(figures.residentAfterSave), mebibytes(figures.residentAfterResume),
                resumedSeconds, mebibytes(figures.residentAfterRestore));
}

double ratio(quint64 numerator, quint64 denominator)
{
    return denominator == 0 ? 0 : double(numerator) / double(denominator);
}

void run(const HostProfile &profile, const Guest &guest)
{
    const Figures shared = measure(profile, guest, true);
    const Figures alone = measure(profile, guest, false);
    std::printf("%s: 2 GiB machine with a memory balloon, %d s running before the save, %s\n", qPrintable(guest.name), guest.runSeconds,
                qPrintable(profile.acceleratorName()));
    print("with the shared folder (memfd)", shared);
    print("without shares (ordinary RAM)", alone);
    std::printf("  ratio shared/ordinary: save %.2f (goal: at most 1.2), restore %.2f (goal: at most 1.5)\n", shared.saveSeconds / alone.saveSeconds,
                shared.restoreSeconds / alone.restoreSeconds);
    std::printf("  QEMU resident after/before the save: shared %.2f, ordinary %.2f (goal: about 1.2); %d s after resuming: shared %.2f, ordinary %.2f\n",
                ratio(shared.residentAfterSave, shared.residentBeforeSave), ratio(alone.residentAfterSave, alone.residentBeforeSave), resumedSeconds,
                ratio(shared.residentAfterResume, shared.residentBeforeSave), ratio(alone.residentAfterResume, alone.residentBeforeSave));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    HostProfile profile = HostProfile::detect();
    if (const auto missing = FirmwareGuestFolder::missingTools(profile)) {
        std::fprintf(stderr, "%s\n", missing->c_str());
        return 1;
    }
    if (profile.virtiofsdProgram.isEmpty() || profile.unshareProgram.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(HostProfile::virtiofsdMissingAdvice()));
        return 1;
    }
    QList<Guest> guests;
    if (const int firmwareSeconds = BenchSupport::argument(arguments, 1, 20); firmwareSeconds > 0)
        guests << Guest{QStringLiteral("Firmware only"), QString(), firmwareSeconds};
    if (const QString image = arguments.value(2); !image.isEmpty()) {
        if (!QFileInfo(image).isFile()) {
            std::fprintf(stderr, "The Linux guest's disk image %s does not exist.\n", qPrintable(image));
            return 1;
        }
        guests << Guest{QStringLiteral("Linux guest ") + QFileInfo(image).fileName(), image, BenchSupport::argument(arguments, 3, 60)};
    }
    try {
        for (const Guest &guest : guests)
            run(profile, guest);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
