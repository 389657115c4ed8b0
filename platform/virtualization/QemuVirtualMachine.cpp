// SPDX-License-Identifier: MIT
#include "QemuVirtualMachine.h"

#include "ChildProcess.h"
#include "HostInstallAdvice.h"
#include "PlatformError.h"
#include "QemuCommandLine.h"
#include "QemuLoadFailure.h"
#include "QemuRuntimeDirectory.h"
#include "QmpClient.h"
#include "SavedMemoryImage.h"
#include "SerialConsoleLog.h"
#include "SharedGuestMemory.h"
#include "SignalWaiter.h"
#include "VirtiofsDaemon.h"

#include <QCoroFuture>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QScopeGuard>
#include <QTimer>
#include <QtConcurrent>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

/// What a coroutine reports when its machine was released while it waited: its own failure, else the release.
std::exception_ptr failureOrRelease(std::exception_ptr failure, const QString &release)
{
    return failure ? failure : std::make_exception_ptr(VirtualizationError(VirtualizationError::Code::operationCancelled, release));
}

using namespace std::chrono_literals;

/// How long QEMU, virtiofsd and the monitor get to end in an orderly way before they are made to.
constexpr auto gracePeriod = 5s;
/// How long a QEMU that failed to start gets to finish saying why.
constexpr auto launchFailureGrace = 2s;
/// Saving and restoring move the guest's memory through a pipe; the slowest of disks still moves this much a second.
constexpr quint64 slowestMigrationBytesPerSecond = quint64(32) << 20;
constexpr auto shortestMigrationTimeout = 60s;
/// QEMU's migration is throttled to 128 MiB/s unless told otherwise; a file is no network link to spare.
constexpr qint64 migrationBandwidth = qint64(1) << 40;
/// Threads that write (and read) the guest's memory pages in parallel, each at the pages' own places in the file.
constexpr int migrationChannels = 4;
/// How long a guest whose balloon driver names free pages runs on once its save has begun; then it is paused again.
constexpr auto freePageHintPeriod = 5s;

enum MigrationOutcome { migrationEnded, qemuEnded };

/// A new empty file beside `url` for QEMU to write into; its path.
QString makeTemporarySibling(const QString &url)
{
    const QFileInfo destination(url);
    QByteArray pattern = QFile::encodeName(destination.absolutePath() + QStringLiteral("/.") + destination.fileName() + QStringLiteral(".XXXXXX"));
    const int descriptor = ::mkstemp(pattern.data());
    if (descriptor < 0)
        throw PlatformError::posix(errno, url);
    ::close(descriptor);
    return QFile::decodeName(pattern);
}

/// The file as QEMU's migration channel; named apart from a URI, so that no character of the path means anything to QEMU.
QJsonObject fileChannelArguments(const QString &path)
{
    const QJsonObject address{{QStringLiteral("transport"), QStringLiteral("file")}, {QStringLiteral("filename"), path}, {QStringLiteral("offset"), 0}};
    const QJsonObject channel{{QStringLiteral("channel-type"), QStringLiteral("main")}, {QStringLiteral("addr"), address}};
    return {{QStringLiteral("channels"), QJsonArray{channel}}};
}

QJsonObject capability(const QString &name, bool state = true)
{
    return {{QStringLiteral("capability"), name}, {QStringLiteral("state"), state}};
}

/*
 * Saving and restoring wait for QEMU's MIGRATION events, which it sends only
 * when asked to. With mapped-ram each page of guest memory has a fixed place
 * in the file, so several multifd threads write and read it at once, and a
 * restore maps only the pages the guest had touched: the file stays sparse
 * (as long as the memory, with only those pages allocated) and a restored
 * QEMU is no larger than the saved one was.
 *
 * Shared guest memory is left out instead (x-ignore-shared): the saved state
 * carries its own image of it, and QEMU's part is the devices' state and
 * small memories such as the firmware's flash. QEMU 10 cannot combine that
 * with mapped-ram (the save fails writing the page map of the memory it left
 * out), so that part is a plain stream.
 */
QJsonObject migrationCapabilitiesArguments(bool leavesOutSharedMemory)
{
    return {{QStringLiteral("capabilities"),
             QJsonArray{capability(QStringLiteral("events")), capability(QStringLiteral("mapped-ram"), !leavesOutSharedMemory),
                        capability(QStringLiteral("multifd"), !leavesOutSharedMemory),
                        capability(QStringLiteral("x-ignore-shared"), leavesOutSharedMemory)}}};
}

// Run on a worker thread, each holding the memory it copies; they report what they throw rather than throw it.
std::exception_ptr appendMemoryImage(QString path, std::shared_ptr<const SharedGuestMemory> memory)
{
    try {
        SavedMemoryImage::append(path, *memory);
        return nullptr;
    } catch (...) {
        return std::current_exception();
    }
}

std::exception_ptr loadMemoryImage(QString path, SavedMemoryImage::Location location, std::shared_ptr<const SharedGuestMemory> memory)
{
    try {
        SavedMemoryImage::load(path, location, *memory);
        return nullptr;
    } catch (...) {
        return std::current_exception();
    }
}

QJsonObject migrationParametersArguments()
{
    return {{QStringLiteral("max-bandwidth"), migrationBandwidth}, {QStringLiteral("multifd-channels"), migrationChannels}};
}

/// QEMU's reasons not to migrate, one sentence.
QString blockerText(const QJsonArray &reasons)
{
    QStringList texts;
    for (const QJsonValue &reason : reasons)
        texts << reason.toString();
    return QStringLiteral("QEMU cannot save this virtual machine's state: ") + texts.join(QStringLiteral("; "));
}

QString daemonRefusal(const QString &program)
{
    return QStringLiteral("The shared-folder server %1 cannot hand its state over to a saved machine; virtiofsd 1.11 or later can. "
                          "Build and install it with the set-up command: %2")
        .arg(program, HostInstallAdvice::virtiofsdSetupCommand.toString());
}

/// Whether the driver of a balloon whose virtio status is `status` has agreed to name free pages during a migration.
bool takesFreePageHints(const QJsonObject &status)
{
    const QJsonArray features = status.value(QStringLiteral("guest-features")).toObject().value(QStringLiteral("dev-features")).toArray();
    return std::any_of(features.begin(), features.end(),
                       [](const QJsonValue &feature) { return feature.toString().startsWith(QLatin1String("VIRTIO_BALLOON_F_FREE_PAGE_HINT")); });
}

bool isFinalMigrationStatus(const QString &status)
{
    return status == QLatin1String("completed") || status == QLatin1String("failed") || status == QLatin1String("cancelled");
}

} // namespace

struct QemuVirtualMachine::Run {
    Run(quint64 generation, const QString &runtimeBase)
        : generation(generation)
        , directory(runtimeBase)
    {
    }

    const quint64 generation;
    // Torn down in reverse order of declaration: the monitor, QEMU, the daemons, then the folder.
    QemuRuntimeDirectory directory;
    /// The guest's memory when file-system servers share it; also held by a copy of it that is under way.
    std::shared_ptr<SharedGuestMemory> sharedMemory;
    std::vector<std::unique_ptr<VirtiofsDaemon>> fileSystemDaemons;
    // Torn down after QEMU, so the console's last output is written out.
    std::unique_ptr<SerialConsoleLog> consoleLog;
    ChildProcess qemu;
    std::unique_ptr<QmpClient> monitor;
    bool stopRequested = false;
    bool guestRequestedShutdown = false;
    std::optional<QString> monitorLoss;
    /// Why a shared folder lost its server, once one has: the guest's calls into it hang, and the state can no longer be saved.
    std::optional<QString> sharingStop;
    QemuCommandLine::Paths paths;
    QList<VirtiofsDaemon::Launch> daemonLaunches;
    QStringList arguments;
};

QemuVirtualMachine::QemuVirtualMachine(VirtualMachineConfiguration configuration, HostProfile profile, QString logDirectory, QObject *parent)
    : VirtualMachine(parent)
    , m_configuration(std::move(configuration))
    , m_profile(std::move(profile))
    , m_logDirectory(std::move(logDirectory))
{
    for (const NetworkDeviceConfiguration &device : m_configuration.networkDevices)
        m_macAddresses << device.macAddress.value_or(MACAddress::randomLocallyAdministered());
    if (const auto *generic = std::get_if<GenericPlatformConfiguration>(&m_configuration.platform))
        m_machineIdentifier = generic->machineIdentifier.value_or(QUuid::createUuid());
    else
        m_machineIdentifier = QUuid::fromRfc4122(std::get<MacPlatformConfiguration>(m_configuration.platform).machineIdentifier.bytes());
}

QemuVirtualMachine::~QemuVirtualMachine() = default;

// ---------------------------------------------------------------- operations

QCoro::Task<> QemuVirtualMachine::start()
{
    requireState(canStart(), QStringLiteral("start"));
    m_configuration.validate();
    setState(State::starting);
    const QPointer<QemuVirtualMachine> self(this);
    std::exception_ptr failure;
    try {
        co_await launch(false, nullptr, false);
        co_await execute(QStringLiteral("cont"));
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        std::rethrow_exception(failureOrRelease(failure, QStringLiteral("The virtual machine was released while it started.")));
    if (failure) {
        const VirtualizationError error = co_await explainLaunchFailure(failure, VirtualizationError::Code::internalError,
                                                                        QStringLiteral("QEMU could not start the virtual machine"));
        if (!self)
            throw error;
        m_run.reset();
        setState(State::stopped);
        throw error;
    }
    setState(State::running);
}

QCoro::Task<> QemuVirtualMachine::stop()
{
    requireState(canStop(), QStringLiteral("stop"));
    const QPointer<QemuVirtualMachine> self(this);
    const quint64 generation = m_run->generation;
    setState(State::stopping);
    m_run->stopRequested = true;
    if (monitorWorks()) {
        try {
            co_await execute(QStringLiteral("quit"), QJsonObject(), gracePeriod);
        } catch (const VirtualizationError &) {
            // QEMU may be gone before it answers; the process decides.
        }
    }
    requireCurrent(self, generation);
    if (!co_await m_run->qemu.waitForExit(gracePeriod)) {
        requireCurrent(self, generation);
        co_await m_run->qemu.terminate(gracePeriod);
    }
    requireCurrent(self, generation);
    m_run.reset();
    setState(State::stopped);
}

QCoro::Task<> QemuVirtualMachine::pause()
{
    requireState(canPause(), QStringLiteral("pause"));
    co_await changeRunState(QStringLiteral("stop"), State::pausing, State::paused, State::running);
}

QCoro::Task<> QemuVirtualMachine::resume()
{
    requireState(canResume(), QStringLiteral("resume"));
    co_await changeRunState(QStringLiteral("cont"), State::resuming, State::running, State::paused);
}

QCoro::Task<> QemuVirtualMachine::validateSaveMachineStateSupport()
{
    requireState(canStop(), QStringLiteral("save its state"));
    m_configuration.validateSaveRestoreSupport();
    if (m_run->sharingStop)
        throw VirtualizationError(VirtualizationError::Code::notSupported,
                                  *m_run->sharingStop + QStringLiteral(" The guest's files in that share are cut off, so its state cannot be saved."));
    const QPointer<QemuVirtualMachine> self(this);
    const quint64 generation = m_run->generation;
    const QStringList programs = daemonPrograms();

    const QJsonObject migration = (co_await execute(QStringLiteral("query-migrate"))).toObject();
    const QJsonArray blockers = migration.value(QStringLiteral("blocked-reasons")).toArray();
    if (!blockers.isEmpty())
        throw VirtualizationError(VirtualizationError::Code::notSupported, blockerText(blockers));
    // A daemon that cannot migrate blocks nothing beforehand: QEMU would write all of the memory and fail only at the end.
    for (const QString &program : programs) {
        const bool migrates = co_await VirtiofsDaemon::migratesState(program);
        requireCurrent(self, generation);
        if (!migrates)
            throw VirtualizationError(VirtualizationError::Code::notSupported, daemonRefusal(program));
    }
}

QCoro::Task<> QemuVirtualMachine::saveMachineStateTo(QString url, SaveStart start)
{
    requireState(canSaveMachineState(), QStringLiteral("save its state"));
    const QPointer<QemuVirtualMachine> self(this);
    const quint64 generation = m_run->generation;
    co_await validateSaveMachineStateSupport();
    requireCurrent(self, generation);
    requireState(canSaveMachineState(), QStringLiteral("save its state"));
    setState(State::saving);
    std::exception_ptr failure;
    try {
        co_await writeMachineState(url, start);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        std::rethrow_exception(failureOrRelease(failure, QStringLiteral("The virtual machine was released while its state was saved.")));
    if (failure) {
        // The code says that the save failed; the text says only why, for callers that put their own sentence first.
        const VirtualizationError error = describeFailure(failure, VirtualizationError::Code::saveFailed, QString());
        // A machine that went away meanwhile has been reported stopped or failed already.
        if (isCurrent(generation) && monitorWorks())
            setState(State::paused);
        throw error;
    }
    setState(State::paused);
}

QCoro::Task<> QemuVirtualMachine::restoreMachineStateFrom(QString url)
{
    requireState(canRestoreMachineState(), QStringLiteral("restore its state"));
    m_configuration.validate();
    m_configuration.validateSaveRestoreSupport();
    if (!QFileInfo(url).isFile())
        throw VirtualizationError(VirtualizationError::Code::restoreFailed, QStringLiteral("The saved state does not exist: %1").arg(url));
    setState(State::restoring);
    const QPointer<QemuVirtualMachine> self(this);
    std::exception_ptr failure;
    try {
        co_await readMachineState(url);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        std::rethrow_exception(failureOrRelease(failure, QStringLiteral("The virtual machine was released while its state was restored.")));
    if (failure) {
        // The code says that the restore failed; the text says only why, for callers that put their own sentence first.
        const VirtualizationError error = co_await explainLaunchFailure(failure, VirtualizationError::Code::restoreFailed, QString());
        if (!self)
            throw error;
        m_run.reset();
        setState(State::stopped);
        throw error;
    }
    setState(State::paused);
}

QString QemuVirtualMachine::serialConsoleSocketPath() const
{
    return m_run && !m_configuration.serialPorts.isEmpty() ? m_run->directory.serialSocketPath() : QString();
}

QString QemuVirtualMachine::displaySocketPath() const
{
    return m_run && !m_configuration.graphicsDevices.isEmpty() ? m_run->directory.displaySocketPath() : QString();
}

qint64 QemuVirtualMachine::processId() const
{
    return m_run ? m_run->qemu.processId() : 0;
}

// ---------------------------------------------------------------- launching

QCoro::Task<> QemuVirtualMachine::launch(bool incomingState, std::shared_ptr<SharedGuestMemory> sharedMemory, bool ignoresSharedMemory)
{
    if (m_profile.qemuProgram.isEmpty())
        throw VirtualizationError(VirtualizationError::Code::notSupported, HostProfile::qemuMissingAdvice());
    if (m_profile.firmwareCodePath.isEmpty())
        throw VirtualizationError(VirtualizationError::Code::notSupported, HostProfile::firmwareMissingAdvice());
    const auto &sharing = m_configuration.directorySharingDevices;
    if (!sharing.isEmpty() && m_profile.virtiofsdProgram.isEmpty())
        throw VirtualizationError(VirtualizationError::Code::notSupported, HostProfile::virtiofsdMissingAdvice());
    if (!sharing.isEmpty() && m_profile.unshareProgram.isEmpty())
        throw VirtualizationError(VirtualizationError::Code::notSupported,
                                  QStringLiteral("Shared folders need unshare, which is missing. Install it with: ")
                                      + HostInstallAdvice::packageInstallCommand.toString() + QStringLiteral(" util-linux"));
    if (!QDir().mkpath(m_logDirectory))
        throw VirtualizationError(VirtualizationError::Code::internalError, QStringLiteral("The log folder cannot be created: %1").arg(m_logDirectory));

    // GCC 12 miscompiles braced initialisation inside coroutines, so everything is prepared in plain functions first.
    const QPointer<QemuVirtualMachine> self(this);
    prepareRun(incomingState, std::move(sharedMemory));
    const quint64 generation = m_run->generation;
    for (qsizetype index = 0; index < m_run->daemonLaunches.size(); ++index) {
        VirtiofsDaemon &daemon = *m_run->fileSystemDaemons.emplace_back(std::make_unique<VirtiofsDaemon>());
        co_await daemon.start(m_run->daemonLaunches[index]);
        requireCurrent(self, generation);
        connect(&daemon.process(), &ChildProcess::exited, this, [this, generation, index] { handleDaemonExit(generation, index); },
                Qt::QueuedConnection);
    }

    co_await m_run->qemu.start(m_profile.qemuProgram, m_run->arguments, m_logDirectory + QStringLiteral("/qemu.log"));
    requireCurrent(self, generation);

    const std::function<bool()> qemuRuns = [qemu = QPointer<ChildProcess>(&m_run->qemu)] { return qemu && qemu->isRunning(); };
    co_await m_run->monitor->connectToMonitor(m_run->paths.monitorSocket, qemuRuns);
    requireCurrent(self, generation);

    co_await execute(QStringLiteral("migrate-set-capabilities"), migrationCapabilitiesArguments(ignoresSharedMemory));
    co_await execute(QStringLiteral("migrate-set-parameters"), migrationParametersArguments());
}

void QemuVirtualMachine::prepareRun(bool incomingState, std::shared_ptr<SharedGuestMemory> sharedMemory)
{
    const quint64 generation = ++m_lastGeneration;
    m_run = std::make_unique<Run>(generation, m_profile.runtimeDirectory);
    connect(&m_run->qemu, &ChildProcess::exited, this, [this, generation] { handleExit(generation); }, Qt::QueuedConnection);

    const QemuRuntimeDirectory &directory = m_run->directory;
    m_run->paths = {directory.monitorSocketPath(), directory.displaySocketPath(), directory.serialSocketPath(), directory.pidFilePath(), {}, {}, {}};
    if (sharesMemory()) {
        m_run->sharedMemory = sharedMemory ? std::move(sharedMemory) : std::make_shared<SharedGuestMemory>(m_configuration.memorySize);
        m_run->paths.guestMemory = m_run->sharedMemory->pathInChild();
        m_run->qemu.inheritDescriptor(m_run->sharedMemory->descriptor());
    }
    if (!m_configuration.serialPorts.isEmpty()) {
        m_run->consoleLog = std::make_unique<SerialConsoleLog>(directory.serialLogPipePath(), m_configuration.serialPorts.constFirst().outputFileURL);
        m_run->paths.serialLog = m_run->consoleLog->pipePath();
    }
    const auto &sharing = m_configuration.directorySharingDevices;
    for (qsizetype index = 0; index < sharing.size(); ++index) {
        const QString socket = directory.fileSystemSocketPath(index);
        const QString root = directory.fileSystemRootPath(index);
        if (!QDir().mkdir(root))
            throw VirtualizationError(VirtualizationError::Code::internalError, QStringLiteral("The folder %1 cannot be created.").arg(root));
        m_run->paths.fileSystemSockets << socket;
        m_run->daemonLaunches << VirtiofsDaemon::Launch{m_profile.unshareProgram,
                                                        m_profile.virtiofsdProgram,
                                                        directory.path(),
                                                        socket,
                                                        root,
                                                        sharing[index].share,
                                                        m_logDirectory + QStringLiteral("/virtiofsd.log"),
                                                        sharing[index].treeFolder};
    }
    m_run->arguments = QemuCommandLine::arguments({m_configuration, m_profile, m_machineIdentifier, m_macAddresses, m_run->paths, incomingState});
    m_run->monitor = std::make_unique<QmpClient>(QmpClient::Handlers{
        [this, generation](const QmpClient::Event &event) { handleEvent(generation, event.name, event.data); },
        [this, generation](const QString &reason) { handleMonitorLoss(generation, reason); },
    });
}

QCoro::Task<QJsonValue> QemuVirtualMachine::execute(QString command, QJsonObject arguments, std::chrono::milliseconds timeout)
{
    const QPointer<QemuVirtualMachine> self(this);
    if (!m_run || !m_run->monitor)
        throw VirtualizationError(VirtualizationError::Code::invalidState, QStringLiteral("QEMU is not running."));
    const quint64 generation = m_run->generation;
    QJsonValue result;
    try {
        result = co_await m_run->monitor->execute(command, arguments, timeout);
    } catch (const QmpClient::Error &error) {
        throw VirtualizationError(VirtualizationError::Code::internalError, QStringLiteral("QEMU could not run %1: %2").arg(command, error.description()));
    }
    requireCurrent(self, generation);
    co_return result;
}

QCoro::Task<> QemuVirtualMachine::changeRunState(QString command, State during, State after, State before)
{
    const QPointer<QemuVirtualMachine> self(this);
    const quint64 generation = m_run->generation;
    setState(during);
    std::exception_ptr failure;
    try {
        co_await execute(command);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        std::rethrow_exception(failureOrRelease(failure, QStringLiteral("The virtual machine was released.")));
    if (failure) {
        // A refused command leaves the machine as it was; a lost QEMU is reported as a stop with error.
        if (isCurrent(generation) && monitorWorks())
            setState(before);
        std::rethrow_exception(failure);
    }
    setState(after);
}

QCoro::Task<> QemuVirtualMachine::writeMachineState(QString url, SaveStart start)
{
    const QPointer<QemuVirtualMachine> self(this);
    const quint64 generation = m_run->generation;

    // QEMU refuses to migrate a machine again before it has run since the last
    // migration; letting it run for an instant makes the new state the one saved.
    const QJsonObject status = (co_await execute(QStringLiteral("query-status"))).toObject();
    if (status.value(QStringLiteral("status")).toString() == QLatin1String("postmigrate")) {
        co_await execute(QStringLiteral("cont"));
        co_await execute(QStringLiteral("stop"));
    }

    const QString temporary = makeTemporarySibling(url);
    auto removeTemporary = qScopeGuard([&temporary] { QFile::remove(temporary); });
    QString migrationStatus;
    SignalWaiter migration;
    migration.watch(m_run->monitor.get(), &QmpClient::eventReceived, migrationEnded, [&migrationStatus](const QmpClient::Event &event) {
        if (event.name != QLatin1String("MIGRATION"))
            return false;
        migrationStatus = event.data.value(QStringLiteral("status")).toString();
        return isFinalMigrationStatus(migrationStatus);
    });
    migration.watch(&m_run->qemu, &ChildProcess::exited, qemuEnded);
    migration.watchDestruction(&m_run->qemu, qemuEnded);

    // A paused guest cannot tell which of its pages are free, and the save reads every page it is not told
    // about. A guest whose balloon driver names free pages therefore runs for the first moments of its save,
    // as it would during a live migration, and is paused again before the save ends: QEMU stops it itself if
    // the save is done first. The pages it named are neither read nor written, and once it runs again it hands
    // them back to the host. Firmware, a guest without the driver, or one its user paused, stays paused.
    // Shared memory is not read by QEMU at all: it writes the devices' state alone and the memory is copied
    // after, holes left out, so such a guest stays paused.
    const std::shared_ptr<const SharedGuestMemory> sharedMemory = m_run->sharedMemory;
    if (sharedMemory)
        co_await execute(QStringLiteral("migrate-set-capabilities"), migrationCapabilitiesArguments(true));
    bool guestHintsFreePages = false;
    if (start == SaveStart::mayRunBriefly && !sharedMemory && !m_configuration.memoryBalloonDevices.isEmpty()) {
        const QJsonObject arguments{{QStringLiteral("path"), QemuCommandLine::memoryBalloonPath()}};
        try {
            guestHintsFreePages = takesFreePageHints((co_await execute(QStringLiteral("x-query-virtio-status"), arguments)).toObject());
        } catch (const VirtualizationError &) {
            // A QEMU that cannot say saves the paused guest as it is.
        }
        requireCurrent(self, generation);
    }
    std::exception_ptr failure;
    try {
        if (guestHintsFreePages)
            co_await execute(QStringLiteral("cont"));
        co_await execute(QStringLiteral("migrate"), fileChannelArguments(temporary));
        auto outcome = co_await migration.wait(guestHintsFreePages ? std::chrono::milliseconds(freePageHintPeriod) : migrationTimeout());
        requireCurrent(self, generation);
        if (guestHintsFreePages && !outcome) {
            co_await execute(QStringLiteral("stop"));
            outcome = co_await migration.wait(migrationTimeout());
            requireCurrent(self, generation);
        }
        if (outcome != migrationEnded || migrationStatus != QLatin1String("completed")) {
            QString detail = outcome == qemuEnded ? QStringLiteral("QEMU stopped.") : QStringLiteral("QEMU did not finish writing the state in time.");
            if (outcome == migrationEnded) {
                const QJsonObject info = (co_await execute(QStringLiteral("query-migrate"))).toObject();
                detail = info.value(QStringLiteral("error-desc")).toString(QStringLiteral("The migration was %1.").arg(migrationStatus));
            } else if (outcome != qemuEnded) {
                co_await execute(QStringLiteral("migrate_cancel"));
            }
            throw VirtualizationError(VirtualizationError::Code::internalError, detail);
        }
        // The machine stays paused while its memory is copied, so the memory matches the devices' state.
        if (sharedMemory) {
            if (const std::exception_ptr copyFailure = co_await QtConcurrent::run(&appendMemoryImage, temporary, sharedMemory))
                std::rethrow_exception(copyFailure);
            requireCurrent(self, generation);
        }
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        // QEMU lets a guest that ran when the save began run on after a failed save; the machine is paused.
        if (guestHintsFreePages && self && isCurrent(generation) && monitorWorks()) {
            try {
                co_await execute(QStringLiteral("stop"));
            } catch (const VirtualizationError &) {
                // The failure of the save is the news.
            }
        }
        std::rethrow_exception(failure);
    }
    if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(url).constData()) != 0)
        throw PlatformError::posix(errno, url);
    removeTemporary.dismiss();
}

QCoro::Task<> QemuVirtualMachine::readMachineState(QString url)
{
    const QPointer<QemuVirtualMachine> self(this);
    // A state with an image of the memory is restored by filling fresh memory from it before QEMU reads the rest;
    // one without carries the memory in QEMU's stream, as states of machines without shares do (and those saved
    // before shared memory was left out of the stream).
    const std::optional<SavedMemoryImage::Location> image = SavedMemoryImage::locate(url);
    std::shared_ptr<SharedGuestMemory> sharedMemory;
    if (image && !sharesMemory())
        throw VirtualizationError(VirtualizationError::Code::restoreFailed,
                                  QStringLiteral("The state was saved while the virtual machine shared folders with its guest, and it has none now."));
    if (image && quint64(image->length) != m_configuration.memorySize)
        throw VirtualizationError(VirtualizationError::Code::restoreFailed,
                                  QStringLiteral("The state was saved with %1 MiB of memory, and the virtual machine has %2 MiB now.")
                                      .arg(image->length >> 20)
                                      .arg(m_configuration.memorySize >> 20));
    // The memory is filled while the servers and QEMU start: QEMU waiting for a state does not touch the guest's
    // memory until it reads the state, and that waits for the copy.
    QFuture<std::exception_ptr> loading;
    if (image) {
        sharedMemory = std::make_shared<SharedGuestMemory>(m_configuration.memorySize);
        loading = QtConcurrent::run(&loadMemoryImage, url, *image, sharedMemory);
    }
    quint64 generation = 0;
    std::exception_ptr launchFailure;
    try {
        co_await launch(true, std::move(sharedMemory), image.has_value());
        generation = m_run->generation;
    } catch (...) {
        launchFailure = std::current_exception();
    }
    const std::exception_ptr copyFailure = image ? co_await loading : nullptr;
    if (launchFailure)
        std::rethrow_exception(launchFailure);
    if (copyFailure)
        std::rethrow_exception(copyFailure);
    requireCurrent(self, generation);

    QString migrationStatus;
    SignalWaiter migration;
    migration.watch(m_run->monitor.get(), &QmpClient::eventReceived, migrationEnded, [&migrationStatus](const QmpClient::Event &event) {
        if (event.name != QLatin1String("MIGRATION"))
            return false;
        migrationStatus = event.data.value(QStringLiteral("status")).toString();
        return isFinalMigrationStatus(migrationStatus);
    });
    migration.watch(&m_run->qemu, &ChildProcess::exited, qemuEnded);
    migration.watchDestruction(&m_run->qemu, qemuEnded);

    co_await execute(QStringLiteral("migrate-incoming"), fileChannelArguments(url));
    const auto outcome = co_await migration.wait(migrationTimeout());
    requireCurrent(self, generation);
    if (outcome != migrationEnded || migrationStatus != QLatin1String("completed")) {
        // QEMU ends by itself when it cannot load a state; what it logged says why.
        co_await m_run->qemu.waitForExit(gracePeriod);
        requireCurrent(self, generation);
        const QString tail = m_run->qemu.logTail();
        // Only QEMU's own verdict on the state condemns it; a QEMU that crashed or a host that failed it does not.
        const auto code = QemuLoadFailure::rejectsState(tail) ? VirtualizationError::Code::savedStateRejected : VirtualizationError::Code::restoreFailed;
        throw VirtualizationError(code, QStringLiteral("QEMU could not read the saved state") + (tail.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + tail));
    }
}

// ---------------------------------------------------------------- helpers

QStringList QemuVirtualMachine::daemonPrograms() const
{
    QStringList programs;
    for (const VirtiofsDaemon::Launch &launch : m_run->daemonLaunches) {
        if (!programs.contains(launch.virtiofsdProgram))
            programs << launch.virtiofsdProgram;
    }
    return programs;
}

bool QemuVirtualMachine::isCurrent(quint64 generation) const
{
    return m_run && m_run->generation == generation;
}

bool QemuVirtualMachine::monitorWorks() const
{
    return m_run && m_run->monitor && m_run->monitor->isConnected();
}

void QemuVirtualMachine::requireCurrent(const QPointer<QemuVirtualMachine> &self, quint64 generation)
{
    if (!self)
        throw VirtualizationError(VirtualizationError::Code::operationCancelled, QStringLiteral("The virtual machine was released."));
    if (!self->isCurrent(generation))
        throw VirtualizationError(VirtualizationError::Code::internalError, QStringLiteral("QEMU stopped."));
}

QCoro::Task<VirtualizationError> QemuVirtualMachine::explainLaunchFailure(std::exception_ptr failure, VirtualizationError::Code code, QString prefix)
{
    // A QEMU that gives up while starting often closes its monitor before it
    // has exited; its last words explain more than the lost connection does.
    const QPointer<QemuVirtualMachine> self(this);
    if (m_run && m_run->qemu.isRunning() && !monitorWorks())
        co_await m_run->qemu.waitForExit(launchFailureGrace);
    if (!self)
        co_return VirtualizationError(VirtualizationError::Code::operationCancelled, QStringLiteral("The virtual machine was released."));
    co_return describeFailure(failure, code, prefix);
}

VirtualizationError QemuVirtualMachine::describeFailure(std::exception_ptr failure, VirtualizationError::Code code, const QString &prefix) const
{
    QString detail;
    try {
        std::rethrow_exception(failure);
    } catch (const VirtualizationError &error) {
        if (error.code() != VirtualizationError::Code::internalError)
            return error;
        detail = error.localizedDescription();
    } catch (const QmpClient::Error &error) {
        detail = error.description();
    } catch (const PlatformError &error) {
        detail = error.description();
    } catch (const std::exception &error) {
        detail = QString::fromUtf8(error.what());
    }
    // When QEMU itself gave up, its last words say more than the broken connection does.
    if (m_run && !m_run->qemu.isRunning()) {
        const QString tail = m_run->qemu.logTail();
        if (!tail.isEmpty())
            detail = tail;
        if (const std::optional<QString> advice = HostProfile::missingFileAdvice(tail))
            detail = *advice + QLatin1Char('\n') + tail;
    }
    return VirtualizationError(code, prefix.isEmpty() ? detail : prefix + QStringLiteral(": ") + detail);
}

std::chrono::milliseconds QemuVirtualMachine::migrationTimeout() const
{
    const auto forMemory = std::chrono::seconds(m_configuration.memorySize / slowestMigrationBytesPerSecond);
    return std::max<std::chrono::milliseconds>(shortestMigrationTimeout, forMemory);
}

// ---------------------------------------------------------------- QEMU's own news

void QemuVirtualMachine::handleEvent(quint64 generation, const QString &event, const QJsonObject &data)
{
    if (!isCurrent(generation))
        return;
    if (event == QLatin1String("SHUTDOWN") && data.value(QStringLiteral("guest")).toBool())
        m_run->guestRequestedShutdown = true;
}

void QemuVirtualMachine::handleMonitorLoss(quint64 generation, const QString &reason)
{
    if (!isCurrent(generation) || m_run->stopRequested)
        return;
    m_run->monitorLoss = reason;
    // Without its monitor QEMU can no longer be driven; unless it ends by itself, it is ended.
    QTimer::singleShot(gracePeriod, this, [this, generation] {
        if (isCurrent(generation) && !m_run->stopRequested)
            m_run->qemu.kill();
    });
}

void QemuVirtualMachine::handleDaemonExit(quint64 generation, qsizetype deviceIndex)
{
    if (!isCurrent(generation) || m_run->stopRequested)
        return;
    // While starting or restoring, the operation in progress reports the failure.
    if (state() == State::starting || state() == State::restoring)
        return;
    // A QEMU that ended takes its servers with it, maybe before its own end is reported: that end is the news.
    if (m_run->qemu.hasEnded())
        return;
    const ChildProcess &server = m_run->fileSystemDaemons[size_t(deviceIndex)]->process();
    QString description = QStringLiteral("The server of the shared folder \"%1\" ended (%2)")
                              .arg(m_configuration.directorySharingDevices[deviceIndex].tag, server.exitDescription());
    // The servers share one log, which also holds what they noted along the way; only what this one said as it ended belongs here.
    const QString lastWords = VirtiofsDaemon::lastWords(server.logTail());
    description += lastWords.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + lastWords;
    if (!m_run->sharingStop)
        m_run->sharingStop = description;
    Q_EMIT directorySharingDeviceStopped(deviceIndex, VirtualizationError(VirtualizationError::Code::internalError, description));
}

void QemuVirtualMachine::handleExit(quint64 generation)
{
    if (!isCurrent(generation) || m_run->stopRequested)
        return;
    // While starting or restoring, the operation in progress reports the failure.
    if (state() == State::starting || state() == State::restoring)
        return;
    if (m_run->guestRequestedShutdown) {
        m_run.reset();
        setState(State::stopped);
        Q_EMIT guestDidStop();
        return;
    }
    QString description = QStringLiteral("QEMU stopped unexpectedly (%1)").arg(m_run->qemu.exitDescription());
    const QString tail = m_run->qemu.logTail();
    if (!tail.isEmpty())
        description += QStringLiteral(": ") + tail;
    else if (m_run->monitorLoss)
        description += QStringLiteral(": ") + *m_run->monitorLoss;
    else
        description += QLatin1Char('.');
    m_run.reset();
    setState(State::error);
    Q_EMIT didStopWithError(VirtualizationError(VirtualizationError::Code::internalError, description));
}
