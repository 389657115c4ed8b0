// SPDX-License-Identifier: MIT
#pragma once

#include "StoredJSONFile.h"
#include "VMBundle.h"
#include "VMCIRunConfiguration.h"
#include "VMCIRunResult.h"
#include "VMGuestAutomationResponse.h"
#include "VMRuntimeState.h"
#include "VMSnapshot.h"

#include <QCoroTask>
#include <QDeadlineTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUuid>

#include <chrono>
#include <functional>
#include <optional>

class LoggingService;

/// How the CI runner waits for the guest's answer.
struct VMCIRunnerTiming {
    /// How often the guest's answer is looked for.
    std::chrono::milliseconds pollInterval { 2000 };
    /// Added to a run's timeout before the host gives up waiting: the guest looks for requests every 5 s.
    std::chrono::milliseconds answerMargin { 60'000 };
};

/**
 * The user's CI configurations (named shell scripts with run options) and
 * the runs made of them inside a running VM's guest.
 *
 * Configurations are kept in CIConfigurations.json in the product-stem
 * folder: read once at construction (a missing, unreadable or undecodable
 * file gives an empty list, silently) and written whole by
 * saveConfigurations(); an undecodable file is moved aside first, never
 * overwritten. Runs live in memory only.
 *
 * A run, one at a time: optionally a safety snapshot (through the injected
 * snapshot maker, which pauses a running VM around the copy), then the
 * script is staged as Automation/ci-run-<ID>.sh and a "runCIScript" request
 * with the timeout, environment and output choice is put in
 * Automation/Requests/<ID>.json, both through the confined folder so that a
 * guest that swapped a folder for a link cannot make the host write
 * elsewhere. The guest tools run the script and answer in
 * Responses/<ID>.json (exit code or timed out) with the output beside it in
 * Responses/<ID>.output. The service polls for that answer, copies the
 * output (its first 8 MiB, marked as cut when there was more) to the
 * bundle's Logs/ci-<ID>.log and ends the run as completed
 * (with the exit code), failed or timedOut; with no answer within the
 * timeout plus a margin, or when the VM stops, the run ends without one and
 * the request is withdrawn. Then the next run may start.
 *
 * GUI thread; each list's signal is emitted on every assignment; log lines
 * use the category "CI".
 *
 * @code
 * VMCIRunnerService ci(logging, [&](const QUuid &id) { return coordinator.effectiveRuntimeState(id); },
 *     [&](QUuid id, QString name, QString notes, bool automatic) { return coordinator.createSnapshot(id, name, notes, automatic); });
 * const VMCIRunResult run = co_await ci.startRun(configuration.id, bundle);
 * @endcode
 */
class VMCIRunnerService : public QObject
{
    Q_OBJECT

public:
    using RuntimeStateSource = std::function<VMRuntimeState(const QUuid &bundleID)>;
    using SnapshotMaker = std::function<QCoro::Task<VMSnapshot>(QUuid bundleID, QString name, QString notes, bool isAutoSnapshot)>;

    using Timing = VMCIRunnerTiming;

    static constexpr QStringView storeFileName = u"CIConfigurations.json";
    /// The largest answer read; a response is a few hundred bytes.
    static constexpr qint64 maximumResponseSize = 1024 * 1024;
    /// The most output copied into the log; the guest keeps no more either, and a longer output is cut to its start.
    static constexpr qint64 maximumOutputSize = 8 * 1024 * 1024;

    VMCIRunnerService(const LoggingService &logging, RuntimeStateSource runtimeState, SnapshotMaker makeSnapshot,
        const QString &storeURL = defaultStoreURL(), Timing timing = {}, QObject *parent = nullptr);
    /// Withdraws the request of a run still waiting, so the guest does not run it after the host has gone.
    ~VMCIRunnerService() override;

    const QList<VMCIRunConfiguration> &configurations() const { return m_configurations; }
    /// Replaces the list in memory (the CI panel adds and deletes this way, then calls saveConfigurations()).
    void setConfigurations(const QList<VMCIRunConfiguration> &configurations);
    /// Oldest first; never trimmed.
    const QList<VMCIRunResult> &runHistory() const { return m_runHistory; }
    /// The last run started.
    const std::optional<VMCIRunResult> &activeRun() const { return m_activeRun; }
    const QString &storeURL() const { return m_file.url(); }

    /// Writes the whole list. Throws PlatformError.
    void saveConfigurations();

    /**
     * Starts a run of the configuration in the bundle's VM and returns it in
     * status "running". Refused with invalidOperation: an unknown
     * configuration, a run already in progress, a Windows VM, a VM that is
     * not running or paused, a timeout below one second, an environment
     * name a shell cannot export. A failed snapshot or staging write is
     * thrown and records nothing (a script already written is removed).
     */
    QCoro::Task<VMCIRunResult> startRun(QUuid configurationID, VMBundle bundle);

    static QString defaultStoreURL();

Q_SIGNALS:
    void configurationsChanged(const QList<VMCIRunConfiguration> &configurations);
    void runHistoryChanged(const QList<VMCIRunResult> &runHistory);
    void activeRunChanged(const std::optional<VMCIRunResult> &activeRun);

private:
    /// The run being waited for.
    struct PendingRun {
        VMBundle bundle;
        QString configurationName;
        qint64 timeoutSeconds = 0;
        QDeadlineTimer deadline;
    };

    void checkRefusals(const VMCIRunConfiguration &configuration, const VMBundle &bundle) const;
    void stage(const VMCIRunResult &run, const VMCIRunConfiguration &configuration, const VMBundle &bundle) const;
    void poll();
    std::optional<VMGuestAutomationResponse> guestAnswer() const;
    /// Ends the run from the guest's answer, or without one as `statusWithoutAnswer` with `failure` as its error.
    void finish(VMCIRunResult run, const std::optional<VMGuestAutomationResponse> &answer, VMCIRunStatus statusWithoutAnswer,
        const QString &failure);
    /// Copies the captured output into the bundle's Logs; absent when there is none.
    std::optional<QString> keepOutput(const QString &runID) const;
    void removeStagedFiles(const QString &runID) const;
    void publish(const VMCIRunResult &run);

    const LoggingService &m_logging;
    RuntimeStateSource m_runtimeState;
    SnapshotMaker m_makeSnapshot;
    StoredJSONFile<QList<VMCIRunConfiguration>> m_file;
    Timing m_timing;
    QList<VMCIRunConfiguration> m_configurations;
    QList<VMCIRunResult> m_runHistory;
    std::optional<VMCIRunResult> m_activeRun;
    /// Set while a run is being started, so that a second start during the snapshot is refused.
    bool m_starting = false;
    std::optional<PendingRun> m_pending;
    QTimer m_pollTimer;
};
