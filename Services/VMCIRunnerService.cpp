// SPDX-License-Identifier: MIT
#include "VMCIRunnerService.h"

#include "ConfinedFolder.h"
#include "FileOperations.h"
#include "JSONCoding.h"
#include "LoggingService.h"
#include "PlatformError.h"
#include "ProductStemFolder.h"
#include "VMGuestAutomationRequest.h"
#include "VMGuestAutomationService.h"
#include "VirtualMachineError.h"

#include <QDateTime>
#include <QLocale>
#include <QPointer>
#include <QRegularExpression>

#include <cerrno>

namespace {

const QString category = QStringLiteral("CI");

QString upperCaseID(const QUuid &id) { return id.toString(QUuid::WithoutBraces).toUpper(); }
QString scriptFileName(const QString &runID) { return QStringLiteral("ci-run-") + runID + QStringLiteral(".sh"); }
QString requestFileName(const QString &runID) { return runID + QStringLiteral(".json"); }
QString outputFileName(const QString &runID) { return runID + QStringLiteral(".output"); }

QDateTime wholeSecondNow()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    return now.addMSecs(-now.time().msec());
}

bool isFinished(VMCIRunStatus status)
{
    return status == VMCIRunStatus::completed || status == VMCIRunStatus::failed || status == VMCIRunStatus::timedOut;
}

/// Runs a step whose failure must not hide the outcome being reported.
template <typename Step> void ignoringFailure(Step &&step)
{
    try {
        step();
    } catch (const std::exception &) {
    }
}

} // namespace

VMCIRunnerService::VMCIRunnerService(const LoggingService &logging, RuntimeStateSource runtimeState, SnapshotMaker makeSnapshot,
    const QString &storeURL, Timing timing, QObject *parent)
    : QObject(parent)
    , m_logging(logging)
    , m_runtimeState(std::move(runtimeState))
    , m_makeSnapshot(std::move(makeSnapshot))
    , m_file(storeURL, logging, category)
    , m_timing(timing)
    , m_configurations(m_file.load().value_or(QList<VMCIRunConfiguration> {}))
{
    m_pollTimer.setInterval(m_timing.pollInterval);
    connect(&m_pollTimer, &QTimer::timeout, this, &VMCIRunnerService::poll);
}

VMCIRunnerService::~VMCIRunnerService()
{
    if (m_pending && m_activeRun)
        removeStagedFiles(upperCaseID(m_activeRun->id));
}

QString VMCIRunnerService::defaultStoreURL() { return productStemFolder() + QLatin1Char('/') + storeFileName.toString(); }

void VMCIRunnerService::setConfigurations(const QList<VMCIRunConfiguration> &configurations)
{
    m_configurations = configurations;
    Q_EMIT configurationsChanged(m_configurations);
}

void VMCIRunnerService::saveConfigurations() { m_file.save(m_configurations); }

// ---- Starting --------------------------------------------------------------------------------

QCoro::Task<VMCIRunResult> VMCIRunnerService::startRun(QUuid configurationID, VMBundle bundle)
{
    const auto found = std::find_if(m_configurations.cbegin(), m_configurations.cend(),
        [&](const VMCIRunConfiguration &entry) { return entry.id == configurationID; });
    if (found == m_configurations.cend())
        throw VirtualMachineError::invalidOperation(QStringLiteral("CI configuration not found."));
    const VMCIRunConfiguration configuration = *found;
    if (m_starting || (m_activeRun && !isFinished(m_activeRun->status)))
        throw VirtualMachineError::invalidOperation(QStringLiteral("A CI run is already in progress."));
    checkRefusals(configuration, bundle);

    VMCIRunResult run;
    run.id = QUuid::createUuid();
    run.configurationID = configuration.id;
    run.bundleID = bundle.metadata.id;
    run.status = VMCIRunStatus::preparing;
    run.startedAt = wholeSecondNow();

    if (configuration.snapshotBeforeRun) {
        run.status = VMCIRunStatus::snapshotting;
        const QString name = QStringLiteral("CI: ") + configuration.name + QStringLiteral(" - ")
            + QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
        m_starting = true;
        const QPointer<VMCIRunnerService> self(this);
        try {
            co_await m_makeSnapshot(bundle.metadata.id, name, QString(), true);
        } catch (...) {
            if (self)
                m_starting = false;
            throw;
        }
        if (!self)
            throw VirtualMachineError::invalidOperation(QStringLiteral("The CI runner was closed."));
        m_starting = false;
        // The VM may have stopped while its disk was copied.
        checkRefusals(configuration, bundle);
    }

    stage(run, configuration, bundle);

    run.status = VMCIRunStatus::running;
    m_pending = PendingRun { bundle, configuration.name, configuration.timeoutSeconds,
        QDeadlineTimer(std::chrono::seconds(configuration.timeoutSeconds) + m_timing.answerMargin) };
    m_runHistory.append(run);
    m_activeRun = run;
    Q_EMIT runHistoryChanged(m_runHistory);
    Q_EMIT activeRunChanged(m_activeRun);
    m_pollTimer.start();
    m_logging.log(QStringLiteral("Started CI run '") + configuration.name + QStringLiteral("' for ") + bundle.metadata.name, category,
        bundle.bundleURL);
    co_return run;
}

void VMCIRunnerService::checkRefusals(const VMCIRunConfiguration &configuration, const VMBundle &bundle) const
{
    if (bundle.metadata.guestOSType == VMGuestOSType::windows)
        throw VirtualMachineError::invalidOperation(
            QStringLiteral("CI runs need the guest tools' automation folder, which Windows VMs do not have."));
    const VMRuntimeState state = m_runtimeState(bundle.metadata.id);
    if (state != VMRuntimeState::running && state != VMRuntimeState::paused)
        throw VirtualMachineError::invalidOperation(QStringLiteral("Start the VM before starting a CI run in it."));
    if (configuration.timeoutSeconds < 1)
        throw VirtualMachineError::invalidOperation(QStringLiteral("The CI configuration's timeout must be at least 1 second."));
    static const QRegularExpression name(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    for (auto variable = configuration.environmentVariables.cbegin(); variable != configuration.environmentVariables.cend(); ++variable) {
        if (!name.match(variable.key()).hasMatch())
            throw VirtualMachineError::invalidOperation(QStringLiteral("The environment variable name \"") + variable.key()
                + QStringLiteral("\" is not valid: use letters, digits and underscores, and do not begin with a digit."));
    }
}

void VMCIRunnerService::stage(const VMCIRunResult &run, const VMCIRunConfiguration &configuration, const VMBundle &bundle) const
{
    const QString runID = upperCaseID(run.id);
    const ConfinedFolder automation = VMGuestAutomationService::createAutomationFolders(bundle);
    automation.writeFileAtomically(scriptFileName(runID), configuration.scriptContent.toUtf8());

    VMGuestAutomationRequest request;
    request.id = run.id;
    request.command = VMGuestAutomationCommand::runCIScript;
    request.createdAt = wholeSecondNow();
    request.requestedDiskSizeBytes = 0;
    request.timeoutSeconds = configuration.timeoutSeconds;
    request.environment = configuration.environmentVariables;
    request.captureOutput = configuration.captureOutput;
    try {
        automation.subfolder(VMGuestAutomationService::requestsDirectoryName.toString())
            .writeFileAtomically(requestFileName(runID), sharedJSONEncoder().encode(request));
    } catch (...) {
        ignoringFailure([&] { automation.removeFile(scriptFileName(runID)); });
        throw;
    }
}

// ---- Waiting for the answer ------------------------------------------------------------------

void VMCIRunnerService::poll()
{
    if (!m_pending || !m_activeRun) {
        m_pollTimer.stop();
        return;
    }
    if (const std::optional<VMGuestAutomationResponse> answer = guestAnswer()) {
        finish(*m_activeRun, answer, VMCIRunStatus::failed, {});
        return;
    }
    const VMRuntimeState state = m_runtimeState(m_pending->bundle.metadata.id);
    if (state != VMRuntimeState::running && state != VMRuntimeState::paused) {
        finish(*m_activeRun, std::nullopt, VMCIRunStatus::failed, QStringLiteral("The VM stopped before the CI script finished."));
        return;
    }
    if (m_pending->deadline.hasExpired()) {
        const qint64 waited = m_pending->timeoutSeconds + qint64(std::chrono::ceil<std::chrono::seconds>(m_timing.answerMargin).count());
        finish(*m_activeRun, std::nullopt, VMCIRunStatus::timedOut,
            QStringLiteral("The guest did not answer within %1 seconds. Make sure the guest tools are installed and up to date.").arg(waited));
    }
}

std::optional<VMGuestAutomationResponse> VMCIRunnerService::guestAnswer() const
{
    const QString runID = upperCaseID(m_activeRun->id);
    try {
        const ConfinedFolder responses = ConfinedFolder::open(m_pending->bundle.layout().automationDirectoryURL())
                                             .subfolder(VMGuestAutomationService::responsesDirectoryName.toString());
        if (!responses.contains(requestFileName(runID)))
            return std::nullopt;
        const auto answer
            = sharedJSONDecoder().decode<VMGuestAutomationResponse>(responses.readFile(requestFileName(runID), maximumResponseSize));
        if (answer.requestID != m_activeRun->id)
            return std::nullopt;
        return answer;
    } catch (const std::exception &) {
        return std::nullopt; // missing, half there or not ours: looked at again on the next poll
    }
}

void VMCIRunnerService::finish(
    VMCIRunResult run, const std::optional<VMGuestAutomationResponse> &answer, VMCIRunStatus statusWithoutAnswer, const QString &failure)
{
    m_pollTimer.stop();
    const PendingRun pending = *m_pending;
    const QString runID = upperCaseID(run.id);

    run.status = VMCIRunStatus::capturing;
    publish(run);
    run.outputPath = keepOutput(runID);
    removeStagedFiles(runID);
    m_pending.reset();

    const QDateTime now = wholeSecondNow();
    run.completedAt = now;
    run.durationSeconds = double(run.startedAt.msecsTo(QDateTime::currentDateTimeUtc())) / 1000.0;
    if (!answer) {
        run.status = statusWithoutAnswer;
        run.errorMessage = failure;
    } else if (answer->timedOut.value_or(false)) {
        run.status = VMCIRunStatus::timedOut;
        run.errorMessage = answer->message;
    } else if (answer->exitCode) {
        run.status = VMCIRunStatus::completed;
        run.exitCode = answer->exitCode;
    } else {
        run.status = VMCIRunStatus::failed;
        // Tools from before CI runs answer "Unknown command: runCIScript".
        run.errorMessage = answer->message.startsWith(QStringLiteral("Unknown command"))
            ? QStringLiteral("The guest tools need updating to run CI scripts: install them again from the VM's automation folder (")
                + answer->message + QStringLiteral(").")
            : answer->message;
    }
    publish(run);
    m_logging.log(QStringLiteral("CI run '") + pending.configurationName + QStringLiteral("' for ") + pending.bundle.metadata.name
            + QStringLiteral(" ended as ") + toRaw(run.status)
            + (run.exitCode ? QStringLiteral(" with exit code ") + QString::number(*run.exitCode) : QString())
            + (run.errorMessage ? QStringLiteral(": ") + *run.errorMessage : QString()),
        category, pending.bundle.bundleURL);
}

std::optional<QString> VMCIRunnerService::keepOutput(const QString &runID) const
{
    const VMBundle &bundle = m_pending->bundle;
    try {
        const ConfinedFolder responses = ConfinedFolder::open(bundle.layout().automationDirectoryURL())
                                             .subfolder(VMGuestAutomationService::responsesDirectoryName.toString());
        if (!responses.contains(outputFileName(runID)))
            return std::nullopt;
        FileOperations::FileStart output = responses.readFileStart(outputFileName(runID), maximumOutputSize);
        // A longer output keeps its start, as the guest tools do; the log says where it was cut rather than losing it all.
        if (!output.isWhole)
            output.data += QStringLiteral("\n[The output was cut here: only its first %1 bytes are kept.]\n").arg(maximumOutputSize).toUtf8();
        const QString logs = bundle.layout().logsDirectoryURL();
        FileOperations::createFolders(logs);
        const QString path = logs + QStringLiteral("/ci-") + runID + QStringLiteral(".log");
        FileOperations::writeAtomically(path, output.data);
        if (!output.isWhole)
            m_logging.log(QStringLiteral("The output of CI run %1 was longer than %2 bytes; only its start was kept in %3").arg(runID).arg(maximumOutputSize).arg(path),
                category, bundle.bundleURL);
        return path;
    } catch (const std::exception &error) {
        m_logging.log(QStringLiteral("The output of CI run ") + runID + QStringLiteral(" could not be kept: ") + QString::fromUtf8(error.what()),
            category, bundle.bundleURL);
        return std::nullopt;
    }
}

void VMCIRunnerService::removeStagedFiles(const QString &runID) const
{
    const QString automation = m_pending->bundle.layout().automationDirectoryURL();
    const auto remove = [](const ConfinedFolder &folder, const QString &name) {
        if (folder.contains(name))
            folder.removeFile(name);
    };
    ignoringFailure([&] { remove(ConfinedFolder::open(automation), scriptFileName(runID)); });
    ignoringFailure([&] {
        remove(ConfinedFolder::open(automation).subfolder(VMGuestAutomationService::requestsDirectoryName.toString()), requestFileName(runID));
    });
    ignoringFailure([&] {
        remove(ConfinedFolder::open(automation).subfolder(VMGuestAutomationService::responsesDirectoryName.toString()), outputFileName(runID));
    });
}

void VMCIRunnerService::publish(const VMCIRunResult &run)
{
    for (VMCIRunResult &entry : m_runHistory) {
        if (entry.id == run.id)
            entry = run;
    }
    m_activeRun = run;
    Q_EMIT runHistoryChanged(m_runHistory);
    Q_EMIT activeRunChanged(m_activeRun);
}
