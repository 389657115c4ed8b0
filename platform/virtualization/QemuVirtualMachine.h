// SPDX-License-Identifier: MIT
#pragma once

#include "HostProfile.h"
#include "MACAddress.h"
#include "VirtualMachine.h"
#include "VirtualMachineConfiguration.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <chrono>
#include <exception>
#include <memory>

class SharedGuestMemory;

/**
 * A virtual machine run by qemu-system-aarch64 and driven over its QMP
 * monitor socket. Each run has its own short runtime folder (sockets, pid
 * file), one virtiofsd per directory-sharing device, the QEMU process and
 * one QmpClient, owned together and torn down in that reverse order: monitor,
 * QEMU (SIGTERM, then SIGKILL), daemons, folder. Destroying the machine kills
 * a run that is still going.
 *
 * - start: QEMU starts paused, the monitor connects, then `cont`;
 * - pause / resume: `stop` / `cont`;
 * - save: once QEMU reports no migration blocker and every virtiofsd says it
 *   migrates, the paused machine migrates to a temporary file (mapped-ram,
 *   multifd), which is renamed into place once QEMU reports the migration
 *   completed; the machine stays paused and can be resumed or stopped as
 *   before. The file is sparse: as long as the guest's memory, with only
 *   the pages it used allocated. A machine with shared folders keeps its
 *   memory in a SharedGuestMemory that QEMU leaves out of the migration;
 *   the paused machine's memory is then copied into the file behind QEMU's
 *   stream (SavedMemoryImage), so the save never reads a page the guest did
 *   not use;
 * - restore: the same command line with `-incoming defer`, then
 *   `migrate-incoming` from the file; the machine stays paused. A memory
 *   image in the file fills the new SharedGuestMemory before QEMU starts;
 * - stop: `quit`, then SIGTERM, then SIGKILL.
 *
 * A SHUTDOWN event that the guest caused ends in guestDidStop(); any other
 * end of QEMU that nobody asked for ends in didStopWithError() with the tail
 * of QEMU's log as the description. A virtiofsd that ends while QEMU runs
 * on ends in directorySharingDeviceStopped(), and the machine refuses to
 * save its state from then on. QEMU's output goes to qemu.log and
 * virtiofsd's to virtiofsd.log in the log folder; the console port's goes
 * through SerialConsoleLog to its capped file.
 */
class QemuVirtualMachine final : public VirtualMachine
{
    Q_OBJECT

public:
    /// Network devices without a MAC address get a random one here, kept for the machine's lifetime.
    QemuVirtualMachine(VirtualMachineConfiguration configuration, HostProfile profile, QString logDirectory, QObject *parent = nullptr);
    ~QemuVirtualMachine() override;

    QCoro::Task<> start() override;
    QCoro::Task<> stop() override;
    QCoro::Task<> pause() override;
    QCoro::Task<> resume() override;
    /// Refuses a machine that QEMU reports blocked from migrating, or one whose shared-folder server cannot migrate.
    QCoro::Task<> validateSaveMachineStateSupport() override;
    QCoro::Task<> saveMachineStateTo(QString url, SaveStart start) override;
    QCoro::Task<> restoreMachineStateFrom(QString url) override;

    /// While QEMU runs: the socket through which one can type into the console port; empty otherwise.
    QString serialConsoleSocketPath() const;
    /// While QEMU runs: the VNC socket of the display; empty otherwise.
    QString displaySocketPath() const override;
    /// While QEMU runs: its process id; 0 otherwise.
    qint64 processId() const override;

    const QList<MACAddress> &macAddresses() const { return m_macAddresses; }
    const QUuid &machineIdentifier() const { return m_machineIdentifier; }

private:
    struct Run;

    /// Starts the run; a machine that shares its memory gets `sharedMemory`, or fresh memory when none is given.
    QCoro::Task<> launch(bool incomingState, std::shared_ptr<SharedGuestMemory> sharedMemory, bool ignoresSharedMemory);
    /// Makes the run's folder, memory, monitor client and command lines; throws when the folder cannot be made.
    void prepareRun(bool incomingState, std::shared_ptr<SharedGuestMemory> sharedMemory);
    /// Whether file-system servers reach into the guest's memory, which is then a SharedGuestMemory.
    bool sharesMemory() const { return !m_configuration.directorySharingDevices.isEmpty(); }
    QCoro::Task<QJsonValue> execute(QString command, QJsonObject arguments = QJsonObject(), std::chrono::milliseconds timeout = std::chrono::seconds(30));
    QCoro::Task<> changeRunState(QString command, State during, State after, State before);
    QCoro::Task<> writeMachineState(QString url, SaveStart start);
    QCoro::Task<> readMachineState(QString url);

    /// The distinct virtiofsd programs of the current run.
    QStringList daemonPrograms() const;
    bool isCurrent(quint64 generation) const;
    bool monitorWorks() const;
    /// Throws unless the machine still exists and still has the run `generation`.
    static void requireCurrent(const QPointer<QemuVirtualMachine> &self, quint64 generation);
    QCoro::Task<VirtualizationError> explainLaunchFailure(std::exception_ptr failure, VirtualizationError::Code code, QString prefix);
    VirtualizationError describeFailure(std::exception_ptr failure, VirtualizationError::Code code, const QString &prefix) const;
    std::chrono::milliseconds migrationTimeout() const;

    void handleEvent(quint64 generation, const QString &event, const QJsonObject &data);
    void handleMonitorLoss(quint64 generation, const QString &reason);
    void handleExit(quint64 generation);
    /// A virtiofsd that ends while QEMU runs on leaves its share hanging in the guest: reported, and saving is refused from then on.
    void handleDaemonExit(quint64 generation, qsizetype deviceIndex);

    VirtualMachineConfiguration m_configuration;
    HostProfile m_profile;
    QString m_logDirectory;
    QList<MACAddress> m_macAddresses;
    QUuid m_machineIdentifier;
    quint64 m_lastGeneration = 0;
    std::unique_ptr<Run> m_run;
};
