// SPDX-License-Identifier: MIT
#include "TestFiles.h"
#include "TestBundle.h"
#include "VMRuntimeService.h"

#include "FileBookmarkService.h"
#include "HostNetworkService.h"
#include "HostSecurityScopedAccess.h"
#include "LoggingService.h"
#include "QtPrinters.h"
#include "ScriptedVirtualMachineFactory.h"
#include "TaskWaiter.h"
#include "TemporaryHome.h"
#include "VMConfigurationBuilder.h"
#include "VMLinuxService.h"
#include "VMSharedFolderService.h"
#include "VirtualMachineError.h"
#include "VirtualMachineErrorExpectation.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

using namespace std::chrono_literals;

namespace {

using TestFiles::write;

using Operation = VirtualMachineScript::Operation;
using MachineState = VirtualMachine::State;
constexpr quint64 mebibyte = quint64(1) << 20;

const VirtualizationError machineFailure(VirtualizationError::Code::internalError, QStringLiteral("QEMU said no."));

/// An installed Linux bundle, the real builders, and machines that answer from a script.
class VMRuntimeServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(m_bundle.bundleURL));
        write(m_template, QByteArray(4096, 'V'));
        write(at(VMBundle::Layout::diskImageFileName), QByteArrayLiteral("disk"));
    }

    QString at(QStringView name) const { return m_bundle.bundleURL + QLatin1Char('/') + name.toString(); }
    QString bundleLog() const
    {
        QFile file(at(u"Logs/duvuzodovevav.log"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    /// The bundle records a saved state, and its file exists.
    void recordSavedState()
    {
        QDir().mkpath(at(VMBundle::Layout::savedStateDirectoryName));
        write(at(VMBundle::Layout::savedStateFileRelativePath), QByteArrayLiteral("state"));
        m_bundle.metadata.savedState = VMSavedState{VMBundle::Layout::savedStateFileRelativePath.toString(), QDateTime::currentDateTimeUtc(), 5};
        m_bundle.metadata.hasSavedState = true;
    }

    std::unique_ptr<VirtualMachineSession> makeSession()
    {
        auto session = m_runtime.makeSession(m_bundle);
        QObject::connect(session.get(), &VirtualMachineSession::runtimeStateChanged, [this, raw = session.get()] { m_states << raw->runtimeState(); });
        return session;
    }

    /// The VirtualMachineError the task threw; none when it succeeded.
    static std::optional<VirtualMachineError> failureOf(QCoro::Task<> task)
    {
        const std::exception_ptr failure = TaskWaiter::failureOf(std::move(task), 10s);
        if (!failure)
            return std::nullopt;
        try {
            std::rethrow_exception(failure);
        } catch (const VirtualMachineError &error) {
            return error;
        }
    }

    TemporaryHome m_home;
    VMBundle m_bundle = TestBundle(m_home.path() + QStringLiteral("/Ubuntu.vm"))
                            .guest(VMGuestOSType::linux)
                            .installed()
                            .hardware({2, 512 * mebibyte, 8ull << 30, 1024, 768, 80});
    const QString m_template = m_home.path() + QStringLiteral("/AAVMF_VARS.fd");
    const LoggingService m_logging{};
    FileBookmarkService m_bookmarks;
    HostSecurityScopedAccess m_access;
    const VMSharedFolderService m_sharedFolders{m_bookmarks, m_access};
    const HostNetworkService m_network{SysfsNetworkInterfaces(m_home.path() + QStringLiteral("/net"))};
    const VMConfigurationBuilder m_builder{m_sharedFolders, m_network, m_access};
    const VMLinuxService m_linux{m_logging, m_sharedFolders, m_network, m_access, {m_template}};
    ScriptedVirtualMachineFactory m_machines;
    const VMRuntimeService m_runtime{m_builder, m_sharedFolders, m_linux, m_logging, m_machines};
    QList<VMRuntimeState> m_states;
};

TEST_F(VMRuntimeServiceTest, RefusesBundlesThatCannotRunInOrder)
{
    struct Case {
        const char *name;
        VMInstallState installState;
        std::optional<VMGuestOSType> guest;
        bool hostSupported;
        VirtualMachineError::Case errorCase;
        QString detail;
    };
    const QString install = QStringLiteral("Install the operating system before starting this virtual machine.");
    const QString windows = QStringLiteral("Windows VMs use the QEMU engine. Use the \"Start with QEMU\" action to launch this VM.");
    const Case cases[] = {
        {"not installed comes first", VMInstallState::failed, VMGuestOSType::windows, false, VirtualMachineError::Case::invalidOperation, install},
        {"not installed Linux", VMInstallState::notInstalled, VMGuestOSType::linux, true, VirtualMachineError::Case::invalidOperation, install},
        {"Windows before host support", VMInstallState::installed, VMGuestOSType::windows, false, VirtualMachineError::Case::invalidOperation, windows},
        {"unsupported host", VMInstallState::installed, VMGuestOSType::linux, false, VirtualMachineError::Case::unsupportedHost, QString()},
        {"macOS without identity files", VMInstallState::installed, VMGuestOSType::macOS, true, VirtualMachineError::Case::missingBundleFile,
         QStringLiteral("HardwareModel.bin")},
    };
    for (const Case &test : cases) {
        m_bundle.metadata.installState = test.installState;
        m_bundle.metadata.guestOSType = test.guest;
        m_machines.setSupported(test.hostSupported);
        const VirtualMachineError error = thrownVirtualMachineError([&] { m_runtime.makeSession(m_bundle); });
        EXPECT_EQ(error.errorCase(), test.errorCase) << test.name;
        EXPECT_EQ(error.detail(), test.detail) << test.name;
    }
    EXPECT_TRUE(m_machines.configurations().isEmpty());
}

TEST_F(VMRuntimeServiceTest, AMacOSBundleIsRefusedAtValidation)
{
    m_bundle.metadata.guestOSType = VMGuestOSType::macOS;
    write(at(VMBundle::Layout::hardwareModelFileName), MacHardwareModel(QByteArrayLiteral("model")).dataRepresentation());
    write(at(VMBundle::Layout::machineIdentifierFileName), MacMachineIdentifier::generate().dataRepresentation());
    write(at(VMBundle::Layout::auxiliaryStorageFileName), QByteArrayLiteral("variables"));

    const VirtualMachineError error = thrownVirtualMachineError([&] { m_runtime.makeSession(m_bundle); });
    EXPECT_EQ(error.errorCase(), VirtualMachineError::Case::configurationValidationFailed);
    EXPECT_EQ(error.detail(), QStringLiteral("macOS cannot run on this host: QEMU cannot boot a macOS guest."));
    EXPECT_TRUE(m_machines.configurations().isEmpty());
}

TEST_F(VMRuntimeServiceTest, LinuxSessionIsMadeFromTheLinuxConfiguration)
{
    write(at(VMBundle::Layout::linuxInstallImageFileName), QByteArrayLiteral("iso"));
    m_bundle.metadata.runtimeState = VMRuntimeState::stopped;
    const auto session = makeSession();

    ASSERT_EQ(m_machines.configurations().size(), 1);
    EXPECT_EQ(session->configuration(), m_machines.configurations().first());
    EXPECT_EQ(session->configuration().storageDevices.size(), 2) << "the ISO is attached while it is in the bundle";
    EXPECT_EQ(m_machines.logDirectories(), QStringList{at(VMBundle::Layout::logsDirectoryName)});
    EXPECT_EQ(&session->virtualMachine(), m_machines.lastMachine());
    EXPECT_EQ(session->bundle(), m_bundle);
    EXPECT_EQ(session->runtimeState(), VMRuntimeState::stopped);
    EXPECT_TRUE(bundleLog().contains(QStringLiteral("] [Runtime] Created Linux EFI runtime session for Ubuntu (ISO: true)\n"))) << bundleLog().toStdString();

    // A bundle without a guest type that has a variable store is a Linux EFI bundle too.
    QFile::remove(at(VMBundle::Layout::linuxInstallImageFileName));
    m_bundle.metadata.guestOSType.reset();
    makeSession();
    EXPECT_TRUE(bundleLog().contains(QStringLiteral("] [Runtime] Created Linux EFI runtime session for Ubuntu (ISO: false)\n"))) << bundleLog().toStdString();
    EXPECT_EQ(m_machines.configurations().last().storageDevices.size(), 1);
}

TEST_F(VMRuntimeServiceTest, EveryOperationMovesThroughItsStates)
{
    using Run = std::function<QCoro::Task<>(const VMRuntimeService &, VirtualMachineSession &)>;
    struct Case {
        const char *name;
        Run run;
        Operation operation;
        /// Where the machine is before the operation; none leaves it stopped.
        std::optional<MachineState> machineBefore;
        bool fails;
        QList<VMRuntimeState> states;
        VirtualMachineError::Case errorCase;
    };
    const auto start = [](bool resume) { return [resume](const VMRuntimeService &runtime, VirtualMachineSession &session) { return runtime.start(session, resume); }; };
    const Run stop = [](const VMRuntimeService &runtime, VirtualMachineSession &session) { return runtime.stop(session); };
    const Run pause = [](const VMRuntimeService &runtime, VirtualMachineSession &session) { return runtime.pause(session); };
    const Run resume = [](const VMRuntimeService &runtime, VirtualMachineSession &session) { return runtime.resume(session); };
    using S = VMRuntimeState;
    using E = VirtualMachineError::Case;
    const Case cases[] = {
        {"cold start", start(false), Operation::start, std::nullopt, false, {S::starting, S::running}, E::runtimeError},
        {"cold start fails", start(false), Operation::start, std::nullopt, true, {S::starting, S::error}, E::runtimeError},
        {"restore", start(true), Operation::restoreMachineState, std::nullopt, false, {S::restoring, S::paused}, E::runtimeError},
        {"restore fails", start(true), Operation::restoreMachineState, std::nullopt, true, {S::restoring, S::error}, E::runtimeError},
        {"stop", stop, Operation::stop, MachineState::running, false, {S::stopping, S::stopped}, E::runtimeError},
        {"stop fails", stop, Operation::stop, MachineState::running, true, {S::stopping, S::error}, E::runtimeError},
        {"pause", pause, Operation::pause, MachineState::running, false, {S::paused}, E::runtimeError},
        {"pause fails", pause, Operation::pause, MachineState::running, true, {S::error}, E::runtimeError},
        {"resume", resume, Operation::resume, MachineState::paused, false, {S::running}, E::runtimeError},
        {"resume fails", resume, Operation::resume, MachineState::paused, true, {S::error}, E::runtimeError},
    };
    recordSavedState();
    for (const Case &test : cases) {
        m_states.clear();
        const auto session = makeSession();
        auto *machine = m_machines.lastMachine();
        if (test.machineBefore)
            machine->forceState(*test.machineBefore);
        if (test.fails)
            machine->script().enqueue(test.operation, ScriptedAnswer::failure(machineFailure, 20ms));
        else
            machine->script().enqueue(test.operation, ScriptedAnswer::success(20ms));

        const std::optional<VirtualMachineError> failure = failureOf(test.run(m_runtime, *session));
        EXPECT_EQ(machine->calls(), QList<Operation>{test.operation}) << test.name;
        EXPECT_EQ(m_states, test.states) << test.name;
        if (!test.fails) {
            EXPECT_FALSE(failure) << test.name << ": " << failure->errorDescription().toStdString();
            EXPECT_EQ(session->lastErrorMessage(), std::nullopt) << test.name;
            continue;
        }
        ASSERT_TRUE(failure) << test.name;
        EXPECT_EQ(failure->errorCase(), test.errorCase) << test.name;
        EXPECT_EQ(failure->detail(), machineFailure.localizedDescription()) << test.name;
        EXPECT_EQ(session->lastErrorMessage(), machineFailure.localizedDescription()) << test.name;
    }
    EXPECT_EQ(bundleLog().count(QStringLiteral("] [Runtime] QEMU said no.\n")), 5) << bundleLog().toStdString();
}

TEST_F(VMRuntimeServiceTest, ARestoreFailsAsAFailedRestoreOfTheStateOnlyWhenTheMachineRejectsTheState)
{
    recordSavedState();
    const auto session = makeSession();
    const VirtualizationError rejected(VirtualizationError::Code::savedStateRejected, QStringLiteral("load of migration failed: Invalid argument"));
    m_machines.lastMachine()->script().enqueue(Operation::restoreMachineState, ScriptedAnswer::failure(rejected));
    const std::optional<VirtualMachineError> failure = failureOf(m_runtime.start(*session, true));
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->errorCase(), VirtualMachineError::Case::savedStateRestoreFailed);
    EXPECT_EQ(failure->detail(), rejected.localizedDescription());
    EXPECT_EQ(session->runtimeState(), VMRuntimeState::error);
}

TEST_F(VMRuntimeServiceTest, AnOperationTheMachineCannotTakeIsRefusedAndLeavesTheSessionAsItWas)
{
    const struct {
        const char *name;
        std::function<QCoro::Task<>(const VMRuntimeService &, VirtualMachineSession &)> operation;
        const char *refusal;
    } cases[] = {
        {"pause", [](const VMRuntimeService &runtime, VirtualMachineSession &session) { return runtime.pause(session); },
         "The virtual machine cannot pause while it is stopped."},
        {"resume", [](const VMRuntimeService &runtime, VirtualMachineSession &session) { return runtime.resume(session); },
         "The virtual machine cannot resume while it is stopped."},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const auto session = makeSession();
        const std::optional<VirtualMachineError> failure = failureOf(testCase.operation(m_runtime, *session));
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->errorCase(), VirtualMachineError::Case::invalidOperation);
        EXPECT_EQ(failure->detail(), QString::fromUtf8(testCase.refusal));
        EXPECT_EQ(session->runtimeState(), VMRuntimeState::stopped);
        EXPECT_EQ(session->lastErrorMessage(), std::nullopt);
        EXPECT_TRUE(m_machines.lastMachine()->calls().isEmpty());
    }
}

TEST_F(VMRuntimeServiceTest, StoppingAMachineThatDoesNotRunOnlyMarksTheSessionStopped)
{
    for (const VMRuntimeState stale : {VMRuntimeState::stopped, VMRuntimeState::error, VMRuntimeState::running}) {
        SCOPED_TRACE(toRaw(stale).toStdString());
        const auto session = makeSession();
        session->setRuntimeState(stale);
        EXPECT_FALSE(failureOf(m_runtime.stop(*session)));
        EXPECT_EQ(session->runtimeState(), VMRuntimeState::stopped);
        EXPECT_TRUE(m_machines.lastMachine()->calls().isEmpty());
    }
}

TEST_F(VMRuntimeServiceTest, ResumingWithoutAUsableSavedStateBootsCold)
{
    // Recorded in the metadata, but the file is gone; then a file without a record.
    recordSavedState();
    QFile::remove(at(VMBundle::Layout::savedStateFileRelativePath));
    auto session = makeSession();
    EXPECT_FALSE(failureOf(m_runtime.start(*session, true)));
    EXPECT_EQ(m_machines.lastMachine()->calls(), QList<Operation>{Operation::start});
    EXPECT_EQ(m_states, (QList<VMRuntimeState>{VMRuntimeState::starting, VMRuntimeState::running}));

    recordSavedState();
    m_bundle.metadata.savedState.reset();
    m_bundle.metadata.hasSavedState = false;
    m_states.clear();
    session = makeSession();
    EXPECT_FALSE(failureOf(m_runtime.start(*session, true)));
    EXPECT_EQ(m_machines.lastMachine()->calls(), QList<Operation>{Operation::start});
    EXPECT_EQ(m_states, (QList<VMRuntimeState>{VMRuntimeState::starting, VMRuntimeState::running}));
}

TEST_F(VMRuntimeServiceTest, ARestoredMachineStaysPaused)
{
    recordSavedState();
    const auto session = makeSession();
    EXPECT_FALSE(failureOf(m_runtime.start(*session, true)));
    EXPECT_EQ(session->runtimeState(), VMRuntimeState::paused);
    EXPECT_EQ(session->virtualMachine().state(), MachineState::paused);
    EXPECT_EQ(m_machines.lastMachine()->restoredStateURLs(), QStringList{at(VMBundle::Layout::savedStateFileRelativePath)});
}

TEST_F(VMRuntimeServiceTest, ASessionClosedDuringAnOperationIsLeftAlone)
{
    auto session = makeSession();
    m_machines.lastMachine()->script().enqueue(Operation::start, ScriptedAnswer::success(200ms));
    QCoro::Task<> starting = m_runtime.start(*session, false);
    session.reset();
    const std::optional<VirtualMachineError> failure = failureOf(std::move(starting));
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->errorCase(), VirtualMachineError::Case::runtimeError);
    EXPECT_EQ(failure->detail(), QStringLiteral("The virtual machine was closed before the operation finished."));
}

} // namespace
