// SPDX-License-Identifier: MIT
// Saves and restores a running 2 GiB machine whose automation folder virtiofsd
// shares (its memory is then shared with the server), and the same machine
// without the share, on ordinary memory. Both carry the memory balloon every
// Linux VM has. It does so for a machine that sits in its AArch64 firmware
// and, when given the Linux test guest's disk image, for that guest idle and
// for that guest holding a number of MiB of its memory filled. Each case runs
// three times, the shared and the ordinary machine in turn; the bench prints
// every run and the medians, with the ratios shared/ordinary: the times of the
// save and the restore, the state file's length and what it takes on disk,
// QEMU's resident memory before the save, after it, some seconds after
// resuming and after a restore, and what the shared memory takes on the host
// at those moments.
//
// Usage: saved_state_bench [seconds the firmware runs before the save, default 20; 0 leaves it out]
//                          [Linux test guest's disk image] [seconds the Linux guest runs before the save, default 60]
//                          [MiB the filled guest holds, default 1024; 0 leaves the case out]

#include "BenchSupport.h"
#include "FileMeasurements.h"
#include "FirmwareGuestFolder.h"
#include "ProcessStatistics.h"
#include "QemuVirtualMachine.h"
#include "SparseCopy.h"
#include "TaskRunner.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QTest>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr quint64 mebibyte = quint64(1) << 20;
constexpr quint64 gibibyte = quint64(1) << 30;
/// How long a resumed machine runs before its memory is measured again: a guest gives freed memory back within seconds.
constexpr int resumedSeconds = 15;
constexpr int repetitions = 3;
/// How long a guest may take to boot and fill its memory.
constexpr int fillTimeoutSeconds = 600;
/// How long a guest that filled its memory runs on before the save.
constexpr int filledSeconds = 10;

struct Memory {
    quint64 resident = 0;
    /// What the shared guest memory takes on the host; none for ordinary memory.
    std::optional<quint64> shared;
};

struct Figures {
    double saveSeconds = 0;
    double restoreSeconds = 0;
    quint64 fileLength = 0;
    quint64 fileAllocated = 0;
    Memory beforeSave;
    Memory afterSave;
    Memory afterResume;
    Memory afterRestore;
};

struct Guest {
    QString name;
    /// Empty for the firmware alone, on an empty disk.
    QString diskImage;
    int runSeconds = 0;
    /// MiB the guest is made to hold before it runs its seconds; 0 for none.
    int fillMebibytes = 0;
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

/// The largest memfd QEMU holds open: the shared guest memory, whoever made it. None when QEMU holds no memfd.
std::optional<quint64> sharedMemoryBytes(qint64 pid)
{
    std::optional<quint64> largest;
    const QString folder = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QFileInfo &entry : QDir(folder).entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        if (!entry.symLinkTarget().startsWith(QLatin1String("/memfd:")))
            continue;
        struct stat status {
        };
        if (::stat(QFile::encodeName(entry.filePath()).constData(), &status) == 0)
            largest = std::max(largest.value_or(0), quint64(status.st_blocks) * 512);
    }
    return largest;
}

Memory memoryOf(const QemuVirtualMachine &machine)
{
    const auto reading = ProcessStatistics().read(machine.processId());
    return {reading ? reading->residentBytes : 0, sharedMemoryBytes(machine.processId())};
}

bool waitFor(const std::function<bool()> &condition, int seconds)
{
    const QDeadlineTimer deadline(std::chrono::seconds{seconds});
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(250);
    }
    return true;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/**
 * Makes the Linux test guest hold `mebibytes` MiB of a non-zero pattern. With the share it is asked through its
 * automation folder; without, it gives up mounting the share and opens a shell on the console, which is told the same.
 */
void fillMemory(const FirmwareGuestFolder &folder, const QemuVirtualMachine &machine, bool sharing, int mebibytes)
{
    const QString console = folder.bundle(QStringLiteral("Logs/console.log"));
    if (sharing) {
        const QString guestFolder = folder.bundle(QStringLiteral("Automation/LinuxTestGuest"));
        if (!waitFor([&] { return QFileInfo(guestFolder).isDir(); }, fillTimeoutSeconds))
            throw std::runtime_error("the Linux guest did not mount its shared folder");
        QFile request(guestFolder + QStringLiteral("/fill-memory"));
        if (!request.open(QIODevice::WriteOnly) || request.write(QByteArray::number(mebibytes) + '\n') < 0)
            throw std::runtime_error("cannot ask the guest to fill its memory");
        request.close();
        const QString answer = guestFolder + QStringLiteral("/memory-filled");
        if (!waitFor([&] { return contents(answer).trimmed() == QByteArray::number(mebibytes); }, fillTimeoutSeconds))
            throw std::runtime_error("the Linux guest did not fill its memory");
        return;
    }
    if (!waitFor([&] { return contents(console).contains("cannot be mounted"); }, fillTimeoutSeconds))
        throw std::runtime_error("the Linux guest without the share did not open its console shell");
    QLocalSocket socket;
    socket.connectToServer(machine.serialConsoleSocketPath());
    if (!socket.waitForConnected(5000))
        throw std::runtime_error("cannot connect to the guest's console");
    // The same pattern as the guest's own fill: one MiB block, and a file made of it. The marker is computed, so the
    // echo of the typed line does not contain it.
    const QByteArray commands = QStringLiteral("mount -t tmpfs -o size=%1m tmpfs /fill && head -c 1048576 /dev/zero | tr '\\0' Z >/fill/block"
                                               " && set -- && i=1 && while [ $i -lt %2 ]; do set -- \"$@\" /fill/block; i=$((i + 1)); done"
                                               " && cat \"$@\" >/fill/pattern && echo \"filled-$((%2 + 0))-MiB\"\n")
                                    .arg(mebibytes + 16)
                                    .arg(mebibytes)
                                    .toUtf8();
    socket.write(commands);
    if (!socket.waitForBytesWritten(5000))
        throw std::runtime_error("cannot type into the guest's console");
    const QByteArray marker = "filled-" + QByteArray::number(mebibytes) + "-MiB";
    if (!waitFor([&] { return contents(console).contains(marker); }, fillTimeoutSeconds))
        throw std::runtime_error("the Linux guest did not fill its memory through the console");
    socket.disconnectFromServer();
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
        if (guest.fillMebibytes > 0)
            fillMemory(folder, running, sharing, guest.fillMebibytes);
        QTest::qWait(guest.runSeconds * 1000);
        figures.beforeSave = memoryOf(running);
        figures.saveSeconds = secondsOf(pauseAndSave(running, stateFile));
        figures.afterSave = memoryOf(running);
        TaskRunner::run(running.resume());
        QTest::qWait(resumedSeconds * 1000);
        figures.afterResume = memoryOf(running);
        TaskRunner::run(running.stop());
    }
    figures.fileLength = FileMeasurements::fileSize(stateFile);
    figures.fileAllocated = FileMeasurements::allocatedSize(stateFile);
    QemuVirtualMachine restored(machine(folder, sharing), profile, folder.bundle(QStringLiteral("Logs")));
    figures.restoreSeconds = secondsOf(restored.restoreMachineStateFrom(stateFile));
    figures.afterRestore = memoryOf(restored);
    TaskRunner::run(restored.resume());
    TaskRunner::run(restored.stop());
    return figures;
}

template <typename Value>
Value median(std::vector<Value> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <typename Value>
Value medianOf(const std::vector<Figures> &runs, const std::function<Value(const Figures &)> &field)
{
    std::vector<Value> values;
    for (const Figures &figures : runs)
        values.push_back(field(figures));
    return median(values);
}

/// The medians of the runs, each figure on its own.
Figures medians(const std::vector<Figures> &runs)
{
    using Field = std::function<quint64(const Figures &)>;
    const auto bytes = [&runs](const Field &field) { return medianOf<quint64>(runs, field); };
    const auto memory = [&](Memory Figures::*moment) {
        Memory result{bytes([moment](const Figures &f) { return (f.*moment).resident; }), std::nullopt};
        if ((runs.front().*moment).shared)
            result.shared = bytes([moment](const Figures &f) { return (f.*moment).shared.value_or(0); });
        return result;
    };
    Figures result;
    result.saveSeconds = medianOf<double>(runs, [](const Figures &f) { return f.saveSeconds; });
    result.restoreSeconds = medianOf<double>(runs, [](const Figures &f) { return f.restoreSeconds; });
    result.fileLength = bytes([](const Figures &f) { return f.fileLength; });
    result.fileAllocated = bytes([](const Figures &f) { return f.fileAllocated; });
    result.beforeSave = memory(&Figures::beforeSave);
    result.afterSave = memory(&Figures::afterSave);
    result.afterResume = memory(&Figures::afterResume);
    result.afterRestore = memory(&Figures::afterRestore);
    return result;
}

unsigned long long mebibytes(quint64 bytes)
{
    return static_cast<unsigned long long>(bytes / mebibyte);
}

double ratio(double numerator, double denominator)
{
    return denominator == 0 ? 0 : numerator / denominator;
}

QString sharedText(const std::optional<quint64> &bytes)
{
    return bytes ? QString::number(mebibytes(*bytes)) : QStringLiteral("-");
}

void print(const char *name, const Figures &figures)
{
    std::printf("  %-22s save %6.2f s  restore %6.2f s  file %5llu MiB long, %5llu MiB on disk\n", name, figures.saveSeconds,
                figures.restoreSeconds, mebibytes(figures.fileLength), mebibytes(figures.fileAllocated));
    std::printf("  %-22s QEMU resident %5llu -> %5llu -> %5llu MiB (before the save -> after it -> %d s after resuming), %5llu MiB after a restore\n",
                "", mebibytes(figures.beforeSave.resident), mebibytes(figures.afterSave.resident), mebibytes(figures.afterResume.resident),
                resumedSeconds, mebibytes(figures.afterRestore.resident));
    std::printf("  %-22s shared memory allocated %s -> %s -> %s MiB, %s MiB after a restore\n", "", qPrintable(sharedText(figures.beforeSave.shared)),
                qPrintable(sharedText(figures.afterSave.shared)), qPrintable(sharedText(figures.afterResume.shared)),
                qPrintable(sharedText(figures.afterRestore.shared)));
}

void printRatios(const char *name, const Figures &shared, const Figures &alone)
{
    std::printf("  %-22s shared/ordinary: save %.2f, restore %.2f; after/before the save: resident shared %.2f, ordinary %.2f",
                name, ratio(shared.saveSeconds, alone.saveSeconds), ratio(shared.restoreSeconds, alone.restoreSeconds),
                ratio(double(shared.afterSave.resident), double(shared.beforeSave.resident)),
                ratio(double(alone.afterSave.resident), double(alone.beforeSave.resident)));
    if (shared.beforeSave.shared && shared.afterSave.shared)
        std::printf(", shared memory allocated %.2f", ratio(double(*shared.afterSave.shared), double(*shared.beforeSave.shared)));
    std::printf("\n");
}

void run(const HostProfile &profile, const Guest &guest)
{
    std::printf("%s: 2 GiB machine with a memory balloon, %d s running before the save", qPrintable(guest.name), guest.runSeconds);
    if (guest.fillMebibytes > 0)
        std::printf(" after filling %d MiB", guest.fillMebibytes);
    std::printf(", %s, median of %d\n", qPrintable(profile.acceleratorName()), repetitions);
    std::fflush(stdout);
    std::vector<Figures> shared;
    std::vector<Figures> alone;
    for (int repetition = 1; repetition <= repetitions; ++repetition) {
        shared.push_back(measure(profile, guest, true));
        alone.push_back(measure(profile, guest, false));
        const QByteArray label = "run " + QByteArray::number(repetition);
        std::printf(" %s\n", label.constData());
        print("with the share", shared.back());
        print("ordinary memory", alone.back());
        printRatios("", shared.back(), alone.back());
        std::fflush(stdout);
    }
    const Figures sharedMedian = medians(shared);
    const Figures aloneMedian = medians(alone);
    std::printf(" median\n");
    print("with the share", sharedMedian);
    print("ordinary memory", aloneMedian);
    printRatios("", sharedMedian, aloneMedian);
    std::printf("\n");
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
        guests << Guest{QStringLiteral("Firmware only"), QString(), firmwareSeconds, 0};
    if (const QString image = arguments.value(2); !image.isEmpty()) {
        if (!QFileInfo(image).isFile()) {
            std::fprintf(stderr, "The Linux guest's disk image %s does not exist.\n", qPrintable(image));
            return 1;
        }
        const QString name = QStringLiteral("Linux guest ") + QFileInfo(image).fileName();
        const int linuxSeconds = BenchSupport::argument(arguments, 3, 60);
        guests << Guest{name, image, linuxSeconds, 0};
        if (const int fill = BenchSupport::argument(arguments, 4, 1024); fill > 0)
            guests << Guest{name + QStringLiteral(" filled"), image, filledSeconds, fill};
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
