// SPDX-License-Identifier: MIT
#include "VMCIRunnerService.h"

#include "FileOperations.h"
#include "HostSecurityScopedAccess.h"
#include "JSONCoding.h"
#include "LinuxGuestSandbox.h"
#include "LoggingService.h"
#include "QtPrinters.h"
#include "RecordingFakes.h"
#include "TaskOutcome.h"
#include "TemporaryHome.h"
#include "TestFiles.h"
#include "VMGuestAutomationRequest.h"
#include "VMGuestAutomationService.h"
#include "VMLinuxGuestToolsService.h"
#include "VirtualMachineError.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <signal.h>

#include <cerrno>

namespace {

using TestFiles::read;
using TestFiles::write;

VMCIRunConfiguration configuration(const QString &script, qint64 timeoutSeconds = 30)
{
    VMCIRunConfiguration made = VMCIRunConfiguration::fromForm(QStringLiteral("Unit tests"), script, timeoutSeconds, false, false);
    made.createdAt = made.createdAt.addMSecs(-made.createdAt.time().msec()); // the file keeps whole seconds
    return made;
}

bool processIsGone(qint64 pid)
{
    // A killed process is reaped by whoever inherits it; give that a moment.
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
            return true;
        QFile status(QStringLiteral("/proc/%1/stat").arg(pid));
        if (status.open(QIODevice::ReadOnly) && status.readAll().contains(") Z "))
            return true; // a zombie runs nothing
        QThread::msleep(50);
    }
    return false;
}

/// A CI runner over a Linux bundle whose guest side is a sandbox running the staged agent; the VM "runs" unless told otherwise.
class VMCIRunnerServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        VMGuestAutomationService::createAutomationFolders(m_bundle);
        write(automation(QStringLiteral("DuvuzodOvevavAutomationRoot.marker")), {});
    }

    QString automation(const QString &name = {}) const
    {
        return m_bundle.bundleURL + QStringLiteral("/Automation") + (name.isEmpty() ? QString() : QLatin1Char('/') + name);
    }

    VMCIRunConfiguration add(VMCIRunConfiguration made)
    {
        m_service.setConfigurations(m_service.configurations() + QList { made });
        return made;
    }

    VMCIRunResult start(const VMCIRunConfiguration &made, const VMBundle &bundle)
    {
        return waitForOutcome(m_service.startRun(made.id, bundle)).get();
    }

    /// Lets the service poll until the run has ended, for at most `milliseconds`.
    VMCIRunResult waitForTheEnd(int milliseconds = 5000)
    {
        const QDeadlineTimer deadline(milliseconds);
        while (!deadline.hasExpired() && m_service.activeRun() && m_service.activeRun()->status == VMCIRunStatus::running) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(5);
        }
        return *m_service.activeRun();
    }

    /// Writes the guest's answer as guest tools would.
    void answer(const VMCIRunResult &run, const VMGuestAutomationResponse &response, const QByteArray &output = {})
    {
        const QString id = run.id.toString(QUuid::WithoutBraces).toUpper();
        if (!output.isNull())
            write(automation(QStringLiteral("Responses/")) + id + QStringLiteral(".output"), output);
        write(automation(QStringLiteral("Responses/")) + id + QStringLiteral(".json"), sharedJSONEncoder().encode(response));
    }

    TemporaryHome m_home;
    LoggingService m_logging;
    LinuxGuestSandbox m_sandbox;
    VMBundle m_bundle = LinuxGuestSandbox::linuxBundleAt(m_sandbox.hostPath(QStringLiteral("Guest.vm")), QStringLiteral("Builder"));
    VMRuntimeState m_state = VMRuntimeState::running;
    QList<QString> m_snapshotNames;
    VMCIRunnerService m_service { m_logging, [this](const QUuid &) { return m_state; },
        [this](QUuid, QString name, QString notes, bool automatic) -> QCoro::Task<VMSnapshot> {
            m_snapshotNames.append(name + QLatin1Char('|') + notes + QLatin1Char('|') + (automatic ? QStringLiteral("auto") : QString()));
            co_return VMSnapshot {};
        },
        m_home.path() + QStringLiteral("/stem/CIConfigurations.json"), VMCIRunnerTiming { std::chrono::milliseconds(20), std::chrono::milliseconds(1500) } };
};

// ---- Through the real Linux agent --------------------------------------------------------------

class VMCIRunnerThroughTheLinuxAgentTest : public VMCIRunnerServiceTest
{
protected:
    void SetUp() override
    {
        if (!m_sandbox.hasJSONReader())
            GTEST_SKIP() << "neither python3 nor jq is installed";
        VMCIRunnerServiceTest::SetUp();
        m_tools.stageLinuxGuestTools(m_bundle);
        m_sandbox.addTool(QStringLiteral("mount"), "ln -s \"$SANDBOX/Guest.vm/Automation\" \"${@: -1}/KestrumAutomation\"");
    }

    /// One pass of the agent inside the guest.
    void runAgent()
    {
        const LinuxGuestSandbox::Result result = m_sandbox.run(QStringLiteral("Guest.vm/Automation/duvuzodovevav-linux-agent.sh"));
        ASSERT_TRUE(result.finished) << result.output.toStdString();
    }

    VMLinuxGuestToolsService m_tools { m_logging };
};

TEST_F(VMCIRunnerThroughTheLinuxAgentTest, AScriptThatExitsWithThreeIsReportedWithItsOutputAndItsEnvironmentArrivesLiterally)
{
    VMCIRunConfiguration made = configuration(QStringLiteral("echo \"to standard output\"\n"
                                                             "echo \"to standard error\" >&2\n"
                                                             "printf 'A=[%s] B=[%s]\\n' \"$FIRST\" \"$SECOND\"\n"
                                                             "[ -e \"$SANDBOX/Guest.vm/Automation/Requests/$RUN_ID.json\" ] && echo 'request still there'\n"
                                                             "exit 3"));
    made.environmentVariables = { { QStringLiteral("FIRST"), QStringLiteral("two\nlines") },
        { QStringLiteral("SECOND"), QStringLiteral("$(touch \"$SANDBOX/injected\") `id` ; \"quoted\" \\") } };
    add(made);
    VMCIRunResult run = start(made, m_bundle);
    // The script learns its own identifier only to look for its request; that is what the test needs, not what users get.
    const QString runID = run.id.toString(QUuid::WithoutBraces).toUpper();
    {
        const QString script = automation(QStringLiteral("ci-run-")) + runID + QStringLiteral(".sh");
        write(script, read(script).replace("$RUN_ID", runID.toUtf8()));
    }
    EXPECT_EQ(run.status, VMCIRunStatus::running);
    EXPECT_TRUE(QFileInfo::exists(automation(QStringLiteral("Requests/")) + runID + QStringLiteral(".json")));

    runAgent();
    const VMCIRunResult ended = waitForTheEnd();

    EXPECT_EQ(ended.status, VMCIRunStatus::completed);
    EXPECT_EQ(ended.exitCode, 3);
    ASSERT_TRUE(ended.outputPath);
    EXPECT_EQ(*ended.outputPath, m_bundle.bundleURL + QStringLiteral("/Logs/ci-") + runID + QStringLiteral(".log"));
    const QByteArray output = read(*ended.outputPath);
    EXPECT_TRUE(output.contains("to standard output\n")) << output.toStdString();
    EXPECT_TRUE(output.contains("to standard error\n")) << output.toStdString();
    EXPECT_TRUE(output.contains("A=[two\nlines] B=[$(touch \"$SANDBOX/injected\") `id` ; \"quoted\" \\]")) << output.toStdString();
    EXPECT_FALSE(output.contains("request still there"));
    EXPECT_FALSE(QFileInfo::exists(m_sandbox.hostPath(QStringLiteral("injected"))));
    EXPECT_TRUE(ended.completedAt);
    EXPECT_TRUE(ended.durationSeconds && *ended.durationSeconds >= 0);
    // What was staged for the run is gone; the next run may start.
    EXPECT_FALSE(QFileInfo::exists(automation(QStringLiteral("ci-run-")) + runID + QStringLiteral(".sh")));
    EXPECT_FALSE(QFileInfo::exists(automation(QStringLiteral("Responses/")) + runID + QStringLiteral(".output")));
    EXPECT_EQ(m_service.runHistory(), QList { ended });
    EXPECT_EQ(start(made, m_bundle).status, VMCIRunStatus::running);
}

TEST_F(VMCIRunnerThroughTheLinuxAgentTest, AScriptPastItsTimeoutEndsAsTimedOutWithNothingLeftRunning)
{
    const VMCIRunConfiguration made = add(configuration(QStringLiteral("/bin/sleep 100 &\n"
                                                                       "echo $! >\"$SANDBOX/child.pid\"\n"
                                                                       "echo $$ >\"$SANDBOX/script.pid\"\n"
                                                                       "echo started\n"
                                                                       "/bin/sleep 100\n"),
        1));
    start(made, m_bundle);

    runAgent();
    const VMCIRunResult ended = waitForTheEnd();

    EXPECT_EQ(ended.status, VMCIRunStatus::timedOut);
    EXPECT_FALSE(ended.exitCode);
    EXPECT_EQ(ended.errorMessage, QStringLiteral("The CI script did not finish within 1 seconds and was stopped."));
    ASSERT_TRUE(ended.outputPath);
    EXPECT_EQ(read(*ended.outputPath), "started\n");
    for (const char *file : { "child.pid", "script.pid" }) {
        const qint64 pid = m_sandbox.read(QString::fromLatin1(file)).trimmed().toLongLong();
        ASSERT_GT(pid, 0) << file;
        EXPECT_TRUE(processIsGone(pid)) << file << " " << pid;
    }
}

TEST_F(VMCIRunnerThroughTheLinuxAgentTest, AgentsThatDoNotKnowTheCommandEndTheRunAsFailedAskingForAnUpdate)
{
    // The agent as it was before CI runs: it answers every command but disk growth as unknown.
    const QString agent = automation(QStringLiteral("duvuzodovevav-linux-agent.sh"));
    write(agent, read(agent).replace("\"$command\" = \"runCIScript\"", "\"$command\" = \"no such command\""));
    const VMCIRunConfiguration made = add(configuration(QStringLiteral("exit 0")));
    start(made, m_bundle);

    runAgent();
    const VMCIRunResult ended = waitForTheEnd();

    EXPECT_EQ(ended.status, VMCIRunStatus::failed);
    EXPECT_TRUE(ended.errorMessage && ended.errorMessage->contains(QStringLiteral("The guest tools need updating")))
        << ended.errorMessage.value_or(QString()).toStdString();
}

// ---- The host on its own -------------------------------------------------------------------------

TEST_F(VMCIRunnerServiceTest, WithoutAnAnswerTheRunTimesOutAndItsRequestIsWithdrawn)
{
    const VMCIRunConfiguration made = add(configuration(QStringLiteral("true"), 1));
    const VMCIRunResult run = start(made, m_bundle);
    const QString runID = run.id.toString(QUuid::WithoutBraces).toUpper();
    const auto request = sharedJSONDecoder().decode<VMGuestAutomationRequest>(
        read(automation(QStringLiteral("Requests/")) + runID + QStringLiteral(".json")));
    EXPECT_EQ(request.command, VMGuestAutomationCommand::runCIScript);
    EXPECT_EQ(request.timeoutSeconds, 1);
    EXPECT_EQ(request.captureOutput, true);
    EXPECT_EQ(read(automation(QStringLiteral("ci-run-")) + runID + QStringLiteral(".sh")), "true");

    const VMCIRunResult ended = waitForTheEnd(10'000);

    EXPECT_EQ(ended.status, VMCIRunStatus::timedOut);
    EXPECT_EQ(ended.errorMessage,
        QStringLiteral("The guest did not answer within 3 seconds. Make sure the guest tools are installed and up to date."));
    EXPECT_FALSE(QFileInfo::exists(automation(QStringLiteral("Requests/")) + runID + QStringLiteral(".json")));
    EXPECT_FALSE(QFileInfo::exists(automation(QStringLiteral("ci-run-")) + runID + QStringLiteral(".sh")));
    EXPECT_TRUE(read(m_bundle.bundleURL + QStringLiteral("/Logs/duvuzodovevav.log")).contains("[CI] CI run 'Unit tests' for Builder ended as timedOut"));
}

TEST_F(VMCIRunnerServiceTest, TheGuestsAnswerDecidesTheOutcome)
{
    const struct {
        const char *name;
        VMGuestAutomationResponse response;
        VMCIRunStatus status;
        std::optional<qint64> exitCode;
        std::optional<QString> errorMessage;
    } cases[] = {
        { "exit 0", { {}, true, {}, QStringLiteral("The CI script exited with code 0."), 0, {} }, VMCIRunStatus::completed, 0, {} },
        { "exit 1", { {}, false, {}, QStringLiteral("The CI script exited with code 1."), 1, {} }, VMCIRunStatus::completed, 1, {} },
        { "timed out", { {}, false, {}, QStringLiteral("Stopped."), {}, true }, VMCIRunStatus::timedOut, {}, QStringLiteral("Stopped.") },
        { "no script", { {}, false, {}, QStringLiteral("The CI script could not be read."), {}, {} }, VMCIRunStatus::failed, {},
            QStringLiteral("The CI script could not be read.") },
    };
    const VMCIRunConfiguration made = add(configuration(QStringLiteral("true")));
    for (const auto &scenario : cases) {
        SCOPED_TRACE(scenario.name);
        const VMCIRunResult run = start(made, m_bundle);
        VMGuestAutomationResponse response = scenario.response;
        response.requestID = run.id;
        response.handledAt = QDateTime(QDate(2025, 1, 2), QTime(3, 4, 5), Qt::UTC);
        answer(run, response, "printed");
        const VMCIRunResult ended = waitForTheEnd();
        EXPECT_EQ(ended.status, scenario.status);
        EXPECT_EQ(ended.exitCode, scenario.exitCode);
        EXPECT_EQ(ended.errorMessage, scenario.errorMessage);
        ASSERT_TRUE(ended.outputPath);
        EXPECT_EQ(read(*ended.outputPath), "printed");
    }
    EXPECT_EQ(m_service.runHistory().size(), 4);
}

TEST_F(VMCIRunnerServiceTest, AnOutputPastTheCapKeepsItsStartAndSaysItWasCut)
{
    constexpr qint64 cap = VMCIRunnerService::maximumOutputSize;
    const QByteArray notice = QStringLiteral("\n[The output was cut here: only its first %1 bytes are kept.]\n").arg(cap).toUtf8();
    const struct {
        const char *name;
        QByteArray output;
        QByteArray kept;
    } cases[] = {
        { "exactly the cap", QByteArray(cap, 'a'), QByteArray(cap, 'a') },
        { "one byte more", QByteArray(cap, 'a') + "b", QByteArray(cap, 'a') + notice },
        { "far more", QByteArray(cap, 'a') + QByteArray(2 * cap, 'b'), QByteArray(cap, 'a') + notice },
    };
    const VMCIRunConfiguration made = add(configuration(QStringLiteral("true")));
    for (const auto &scenario : cases) {
        SCOPED_TRACE(scenario.name);
        const VMCIRunResult run = start(made, m_bundle);
        answer(run, { run.id, true, QDateTime(QDate(2025, 1, 2), QTime(3, 4, 5), Qt::UTC), QStringLiteral("Done."), 0, {} }, scenario.output);
        const VMCIRunResult ended = waitForTheEnd();
        EXPECT_EQ(ended.status, VMCIRunStatus::completed);
        ASSERT_TRUE(ended.outputPath);
        EXPECT_TRUE(read(*ended.outputPath) == scenario.kept);
    }
    const QString log = QString::fromUtf8(read(m_bundle.bundleURL + QStringLiteral("/Logs/duvuzodovevav.log")));
    EXPECT_EQ(log.count(QStringLiteral("was longer than %1 bytes; only its start was kept in ").arg(cap)), 2) << log.toStdString();
}

TEST_F(VMCIRunnerServiceTest, AnAnswerToAnotherRequestOrAVMThatStopsIsNotTakenForTheRunsAnswer)
{
    const VMCIRunConfiguration made = add(configuration(QStringLiteral("true")));
    const VMCIRunResult run = start(made, m_bundle);
    answer(run, { QUuid::createUuid(), true, QDateTime(QDate(2025, 1, 2), QTime(3, 4, 5), Qt::UTC), QStringLiteral("Someone else's"), 0, {} });
    for (int round = 0; round < 10; ++round)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(m_service.activeRun()->status, VMCIRunStatus::running);

    m_state = VMRuntimeState::stopped;
    const VMCIRunResult ended = waitForTheEnd();
    EXPECT_EQ(ended.status, VMCIRunStatus::failed);
    EXPECT_EQ(ended.errorMessage, QStringLiteral("The VM stopped before the CI script finished."));
}

TEST_F(VMCIRunnerServiceTest, RunsThatCannotStartAreRefusedWithASentence)
{
    const VMCIRunConfiguration good = add(configuration(QStringLiteral("true")));
    VMCIRunConfiguration shortTimeout = add(configuration(QStringLiteral("true"), 0));
    VMCIRunConfiguration badName = configuration(QStringLiteral("true"));
    badName.environmentVariables = { { QStringLiteral("1ST"), QStringLiteral("x") } };
    add(badName);
    VMBundle windows = m_bundle;
    windows.metadata.guestOSType = VMGuestOSType::windows;

    const auto refusal = [&](const QUuid &id, const VMBundle &bundle) -> QString {
        try {
            waitForOutcome(m_service.startRun(id, bundle)).get();
        } catch (const VirtualMachineError &error) {
            return error.errorDescription();
        }
        return QStringLiteral("started");
    };
    const QString prefix = QStringLiteral("This action cannot be completed: ");
    EXPECT_EQ(refusal(QUuid::createUuid(), m_bundle), prefix + QStringLiteral("CI configuration not found."));
    EXPECT_EQ(refusal(good.id, windows),
        prefix + QStringLiteral("CI runs need the guest tools' automation folder, which Windows VMs do not have."));
    EXPECT_EQ(refusal(shortTimeout.id, m_bundle), prefix + QStringLiteral("The CI configuration's timeout must be at least 1 second."));
    EXPECT_TRUE(refusal(badName.id, m_bundle).startsWith(prefix + QStringLiteral("The environment variable name \"1ST\" is not valid")));
    m_state = VMRuntimeState::stopped;
    EXPECT_EQ(refusal(good.id, m_bundle), prefix + QStringLiteral("Start the VM before starting a CI run in it."));
    EXPECT_TRUE(m_service.runHistory().isEmpty());
    EXPECT_TRUE(FileOperations::folderEntries(automation(QStringLiteral("Requests"))).isEmpty());

    m_state = VMRuntimeState::paused;
    EXPECT_EQ(refusal(good.id, m_bundle), QStringLiteral("started"));
    EXPECT_EQ(refusal(good.id, m_bundle), prefix + QStringLiteral("A CI run is already in progress."));
}

TEST_F(VMCIRunnerServiceTest, ASnapshotIsTakenFirstWhenAsked)
{
    VMCIRunConfiguration made = configuration(QStringLiteral("true"));
    made.snapshotBeforeRun = true;
    add(made);
    start(made, m_bundle);
    ASSERT_EQ(m_snapshotNames.size(), 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^CI: Unit tests - .+\\|\\|auto$")).match(m_snapshotNames[0]).hasMatch())
        << m_snapshotNames[0].toStdString();
}

TEST_F(VMCIRunnerServiceTest, ARequestsFolderSwappedForALinkLeadsNoWriteOutOfTheBundle)
{
    const QString outside = m_home.path() + QStringLiteral("/outside");
    QDir().mkpath(outside);
    QDir(automation(QStringLiteral("Requests"))).removeRecursively();
    TestFiles::makeLink(outside, automation(QStringLiteral("Requests")));
    const VMCIRunConfiguration made = add(configuration(QStringLiteral("true")));

    const VMCIRunResult run = start(made, m_bundle);

    EXPECT_TRUE(FileOperations::folderEntries(outside).isEmpty());
    EXPECT_TRUE(QFileInfo(automation(QStringLiteral("Requests"))).isDir());
    EXPECT_FALSE(QFileInfo(automation(QStringLiteral("Requests"))).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(automation(QStringLiteral("Requests/")) + run.id.toString(QUuid::WithoutBraces).toUpper() + QStringLiteral(".json")));
}

TEST_F(VMCIRunnerServiceTest, ADiskRequestLeavesAPendingCIRequestAlone)
{
    HostSecurityScopedAccess access;
    RecordingFileViewer viewer;
    const VMGuestAutomationService automationService(m_logging, access, viewer, ApplicationResources(std::nullopt));
    const VMCIRunResult run = start(add(configuration(QStringLiteral("true"))), m_bundle);
    automationService.enqueueRequest(m_bundle);
    automationService.enqueueRequest(m_bundle);
    const QStringList pending = FileOperations::folderEntries(automation(QStringLiteral("Requests")));
    EXPECT_EQ(pending.size(), 2);
    EXPECT_TRUE(pending.contains(run.id.toString(QUuid::WithoutBraces).toUpper() + QStringLiteral(".json")));
}

TEST_F(VMCIRunnerServiceTest, ARunStillWaitingWhenTheApplicationQuitsIsWithdrawn)
{
    QString runID;
    {
        VMCIRunnerService service(m_logging, [](const QUuid &) { return VMRuntimeState::running; }, {},
            m_home.path() + QStringLiteral("/stem/CIConfigurations.json"));
        const VMCIRunConfiguration made = configuration(QStringLiteral("true"));
        service.setConfigurations({ made });
        runID = waitForOutcome(service.startRun(made.id, m_bundle)).get().id.toString(QUuid::WithoutBraces).toUpper();
        EXPECT_TRUE(QFileInfo::exists(automation(QStringLiteral("Requests/")) + runID + QStringLiteral(".json")));
    }
    EXPECT_FALSE(QFileInfo::exists(automation(QStringLiteral("Requests/")) + runID + QStringLiteral(".json")));
    EXPECT_FALSE(QFileInfo::exists(automation(QStringLiteral("ci-run-")) + runID + QStringLiteral(".sh")));
}

// ---- The stored configurations ---------------------------------------------------------------------

TEST_F(VMCIRunnerServiceTest, ConfigurationsAreStoredAsABareArrayAndAnUndecodableFileIsMovedAsideBeforeASave)
{
    m_service.saveConfigurations();
    EXPECT_EQ(read(m_service.storeURL()), "[]");

    const VMCIRunConfiguration made = add(configuration(QStringLiteral("make test")));
    m_service.saveConfigurations();
    EXPECT_EQ(VMCIRunnerService(m_logging, {}, {}, m_service.storeURL()).configurations(), QList { made });

    write(m_service.storeURL(), "[{\"id\": ");
    const VMCIRunnerService reloaded(m_logging, {}, {}, m_service.storeURL());
    EXPECT_TRUE(reloaded.configurations().isEmpty());
    m_service.saveConfigurations();
    const QString folder = QFileInfo(m_service.storeURL()).path();
    QStringList entries = FileOperations::folderEntries(folder);
    entries.removeOne(QStringLiteral("CIConfigurations.json"));
    ASSERT_EQ(entries.size(), 1);
    EXPECT_TRUE(entries[0].startsWith(QStringLiteral("CIConfigurations.json.unreadable-")));
    EXPECT_EQ(read(folder + QLatin1Char('/') + entries[0]), "[{\"id\": ");
    EXPECT_TRUE(read(m_home.applicationData() + QStringLiteral("/Logs/app.log")).contains("CIConfigurations.json could not be read"));
}

} // namespace
