// SPDX-License-Identifier: MIT
#include "CIRunnerViewModel.h"

#include "ErrorText.h"
#include "LoggingService.h"
#include "VMCIRunnerService.h"
#include "VMStore.h"

#include <QPointer>

#include <algorithm>

CIRunnerViewModel::CIRunnerViewModel(
    VMCIRunnerService &ciRunner, const VMStore &store, QUuid bundleID, const LoggingService &logging, QObject *parent)
    : QObject(parent)
    , m_ciRunner(ciRunner)
    , m_store(store)
    , m_bundleID(bundleID)
    , m_logging(logging)
{
    connect(&m_ciRunner, &VMCIRunnerService::configurationsChanged, this, &CIRunnerViewModel::changed);
    connect(&m_ciRunner, &VMCIRunnerService::runHistoryChanged, this, &CIRunnerViewModel::changed);
    connect(&m_ciRunner, &VMCIRunnerService::activeRunChanged, this, &CIRunnerViewModel::changed);
}

const QList<VMCIRunConfiguration> &CIRunnerViewModel::configurations() const
{
    return m_ciRunner.configurations();
}

QList<VMCIRunResult> CIRunnerViewModel::recentRuns() const
{
    return newestRuns(m_ciRunner.runHistory());
}

QList<VMCIRunResult> CIRunnerViewModel::newestRuns(const QList<VMCIRunResult> &history)
{
    return history.mid(std::max<qsizetype>(0, history.size() - shownRuns));
}

const std::optional<VMCIRunResult> &CIRunnerViewModel::activeRun() const
{
    return m_ciRunner.activeRun();
}

bool CIRunnerViewModel::isRunEnabled() const
{
    return isRunEnabled(activeRun());
}

bool CIRunnerViewModel::isRunEnabled(const std::optional<VMCIRunResult> &activeRun)
{
    return !activeRun || isFinished(activeRun->status);
}

bool CIRunnerViewModel::isFinished(VMCIRunStatus status)
{
    return status == VMCIRunStatus::completed || status == VMCIRunStatus::failed || status == VMCIRunStatus::timedOut;
}

QString CIRunnerViewModel::timeoutText(qint64 timeoutSeconds)
{
    return QStringLiteral("Timeout: ") + QString::number(timeoutSeconds / 60) + QLatin1Char('m');
}

bool CIRunnerViewModel::createConfiguration()
{
    if (!m_form.hasName()) {
        Q_EMIT failed(tr("A CI configuration needs a name."));
        return false;
    }
    if (m_form.timeoutSeconds < 1) {
        Q_EMIT failed(tr("The timeout of a CI configuration must be at least 1 second."));
        return false;
    }
    const VMCIRunConfiguration made = VMCIRunConfiguration::fromForm(
        m_form.name, m_form.script, m_form.timeoutSeconds, m_form.snapshotBeforeRun, m_form.shutdownAfterCompletion);
    m_ciRunner.setConfigurations(m_ciRunner.configurations() + QList {made});
    if (save(made.name, tr("saved")))
        m_logging.log(QStringLiteral("Created CI configuration '") + made.name + QLatin1Char('\''), QStringLiteral("CI"));
    return true;
}

void CIRunnerViewModel::deleteConfiguration(QUuid configurationID)
{
    QList<VMCIRunConfiguration> kept = m_ciRunner.configurations();
    QString name;
    kept.removeIf([&](const VMCIRunConfiguration &configuration) {
        if (configuration.id != configurationID)
            return false;
        name = configuration.name;
        return true;
    });
    if (kept.size() == m_ciRunner.configurations().size())
        return;
    m_ciRunner.setConfigurations(kept);
    save(name, tr("deleted"));
}

bool CIRunnerViewModel::save(const QString &name, const QString &what)
{
    try {
        m_ciRunner.saveConfigurations();
        return true;
    } catch (...) {
        Q_EMIT failed(
            tr("The CI configuration “%1” could not be %2 permanently: %3").arg(name, what, ErrorText::describe(std::current_exception())));
        return false;
    }
}

QCoro::Task<> CIRunnerViewModel::run(QUuid configurationID)
{
    const std::optional<VMBundle> bundle = m_store.bundle(m_bundleID);
    if (!bundle) {
        Q_EMIT failed(tr("The CI run cannot start: the VM is no longer in the library."));
        co_return;
    }
    QPointer<CIRunnerViewModel> self(this);
    QString failure;
    try {
        co_await m_ciRunner.startRun(configurationID, *bundle);
    } catch (...) {
        failure = ErrorText::describe(std::current_exception());
    }
    if (self && !failure.isEmpty())
        Q_EMIT failed(failure);
}
