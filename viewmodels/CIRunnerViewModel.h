// SPDX-License-Identifier: MIT
#pragma once

#include "CIConfigurationForm.h"
#include "VMCIRunConfiguration.h"
#include "VMCIRunResult.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QUuid>

#include <optional>

class LoggingService;
class VMCIRunnerService;
class VMStore;

/**
 * The state and actions behind a VM's CI panel, over the application-wide
 * CI runner service: every configuration (not only this VM's), the ten
 * newest runs, the active run, and the create form. It follows the
 * service's lists as they change, so a configuration shows the moment it is
 * made. Runs start on the VM with `bundleID`, looked up in the store when
 * Run is pressed. Refusals and failures of create, run and delete are
 * emitted through failed() for the pane's banner. GUI thread.
 */
class CIRunnerViewModel : public QObject
{
    Q_OBJECT

public:
    /// Runs the panel lists.
    static constexpr int shownRuns = 10;

    CIRunnerViewModel(
        VMCIRunnerService &ciRunner, const VMStore &store, QUuid bundleID, const LoggingService &logging, QObject *parent = nullptr);

    const QList<VMCIRunConfiguration> &configurations() const;
    /// The ten newest runs, in the service's order (oldest of them first).
    QList<VMCIRunResult> recentRuns() const;
    const std::optional<VMCIRunResult> &activeRun() const;
    /// Run is offered unless a run is in progress.
    bool isRunEnabled() const;

    const CIConfigurationForm &form() const { return m_form; }
    void setForm(const CIConfigurationForm &form) { m_form = form; }

    /**
     * Saves a new configuration from the form and answers true; a form
     * without a name or with a timeout below one second is refused and
     * answers false. A configuration that cannot be stored stays listed for
     * this session, and the failure is reported.
     */
    bool createConfiguration();
    /// Starts the configuration on this VM; a refusal or failure is reported.
    QCoro::Task<> run(QUuid configurationID);
    /// Removes the configuration at once and stores the list; a failure to store is reported.
    void deleteConfiguration(QUuid configurationID);

    /// Whether a run in this status has ended.
    static bool isFinished(VMCIRunStatus status);
    /// Runs may start unless `activeRun` is still in progress.
    static bool isRunEnabled(const std::optional<VMCIRunResult> &activeRun);
    /// The last ten of `history`, in its order.
    static QList<VMCIRunResult> newestRuns(const QList<VMCIRunResult> &history);
    /// "Timeout: 60m": whole minutes, the rest dropped.
    static QString timeoutText(qint64 timeoutSeconds);

Q_SIGNALS:
    /// The configurations, the runs or the active run changed.
    void changed();
    /// An action was refused or failed; `message` is the banner's text.
    void failed(const QString &message);

private:
    /// Stores the list; false after reporting the failure with `what` ("saved", "deleted").
    bool save(const QString &name, const QString &what);

    VMCIRunnerService &m_ciRunner;
    const VMStore &m_store;
    const QUuid m_bundleID;
    const LoggingService &m_logging;
    CIConfigurationForm m_form;
};
