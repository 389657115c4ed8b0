// SPDX-License-Identifier: MIT
#include "VMSaveRestoreService.h"

#include "FileBookmarkService.h"
#include "FileMeasurements.h"
#include "HostSecurityScopedAccess.h"
#include "LeftoverSweeper.h"
#include "LoggingService.h"
#include "QtPrinters.h"
#include "StagingMarker.h"
#include "ScriptedVirtualMachine.h"
#include "TaskWaiter.h"
#include "TemporaryHome.h"
#include "TestBundle.h"
#include "VMSharedFolderService.h"
#include "VirtualMachineError.h"
#include "VirtualMachineSession.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

using namespace std::chrono_literals;

namespace {

using Operation = VirtualMachineScript::Operation;
using MachineState = VirtualMachine::State;

const VirtualizationError machineFailure(VirtualizationError::Code::saveFailed, QStringLiteral("The migration failed."));

/// A running session of a bundle whose SavedState folder already holds an older state.
class VMSaveRestoreServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(savedStateFolder()));
        QFile old(stateFile());
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(oldState);
    }

    void makeSession(const VirtualMachineConfiguration &configuration = {})
    {
        const VMBundle bundle = TestBundle(m_home.path() + QStringLiteral("/Ubuntu.vm")).runState(VMRuntimeState::running);
        auto machine = std::make_unique<ScriptedVirtualMachine>(configuration);
        machine->forceState(MachineState::running);
        m_machine = machine.get();
        m_session = std::make_unique<VirtualMachineSession>(bundle, configuration, std::move(machine), QStringList(), m_sharedFolders, m_logging);
        QObject::connect(m_session.get(), &VirtualMachineSession::runtimeStateChanged, [this] { m_states << m_session->runtimeState(); });
    }

    QString savedStateFolder() const { return m_home.path() + QStringLiteral("/Ubuntu.vm/SavedState"); }
    QString stateFile() const { return savedStateFolder() + QStringLiteral("/MachineState.bin"); }
    QByteArray stateFileContent() const
    {
        QFile file(stateFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QStringList savedStateEntries() const { return QDir(savedStateFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot); }
    QString bundleLog() const
    {
        QFile file(m_home.path() + QStringLiteral("/Ubuntu.vm/Logs/duvuzodovevav.log"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    static QCoro::Task<> keep(QCoro::Task<VMSavedState> saving, std::optional<VMSavedState> &saved) { saved = co_await saving; }

    /// Saves and gives back the record; what the save threw is left in m_failure.
    std::optional<VMSavedState> save()
    {
        std::optional<VMSavedState> saved;
        m_failure = TaskWaiter::failureOf(keep(m_service.saveState(*m_session), saved), 10s);
        return saved;
    }

    template <typename Error>
    std::optional<Error> failure() const
    {
        if (!m_failure)
            return std::nullopt;
        try {
            std::rethrow_exception(m_failure);
        } catch (const Error &error) {
            return error;
        } catch (...) {
            return std::nullopt;
        }
    }

    static inline const QByteArray oldState = QByteArrayLiteral("old");
    TemporaryHome m_home;
    const LoggingService m_logging{};
    FileBookmarkService m_bookmarks;
    HostSecurityScopedAccess m_access;
    const VMSharedFolderService m_sharedFolders{m_bookmarks, m_access};
    const VMSaveRestoreService m_service{m_logging};
    ScriptedVirtualMachine *m_machine = nullptr;
    std::unique_ptr<VirtualMachineSession> m_session;
    QList<VMRuntimeState> m_states;
    std::exception_ptr m_failure;
};

TEST_F(VMSaveRestoreServiceTest, SavingARunningMachinePausesItAndReplacesTheOldState)
{
    makeSession();
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    const std::optional<VMSavedState> saved = save();
    ASSERT_TRUE(saved) << "the save failed";

    EXPECT_EQ(m_machine->calls(), (QList<Operation>{Operation::pause, Operation::saveMachineState}));
    EXPECT_EQ(m_machine->saveStarts(), QList<VirtualMachine::SaveStart>{VirtualMachine::SaveStart::mayRunBriefly}) << "paused only for the save";
    EXPECT_EQ(m_states, (QList<VMRuntimeState>{VMRuntimeState::paused, VMRuntimeState::saving, VMRuntimeState::paused}));
    EXPECT_EQ(m_machine->state(), MachineState::paused);
    EXPECT_EQ(stateFileContent(), ScriptedVirtualMachine::savedStateContent());
    EXPECT_EQ(savedStateEntries(), (QStringList{QStringLiteral("MachineState.bin"), QStringLiteral("Origin.json")}))
        << "no temporary file is left behind, only the record of the bundle it was saved in";
    EXPECT_EQ(saved->relativePath, QStringLiteral("SavedState/MachineState.bin"));
    // What the file takes on disk, not its length: a real state file is sparse.
    EXPECT_EQ(saved->fileSizeBytes, FileMeasurements::allocatedSize(stateFile()));
    EXPECT_NE(saved->fileSizeBytes, quint64(ScriptedVirtualMachine::savedStateContent().size()));
    EXPECT_GE(saved->createdAt, before);
    EXPECT_LE(saved->createdAt, QDateTime::currentDateTimeUtc());
    EXPECT_TRUE(bundleLog().contains(QStringLiteral("] [SaveRestore] Saved VM state for Ubuntu\n"))) << bundleLog().toStdString();
}

TEST_F(VMSaveRestoreServiceTest, SavingAPausedMachineGoesStraightToSaving)
{
    makeSession();
    m_machine->forceState(MachineState::paused);
    ASSERT_TRUE(save());
    EXPECT_EQ(m_machine->calls(), QList<Operation>{Operation::saveMachineState});
    EXPECT_EQ(m_machine->saveStarts(), QList<VirtualMachine::SaveStart>{VirtualMachine::SaveStart::keepPaused}) << "its user paused it";
    EXPECT_EQ(m_states, (QList<VMRuntimeState>{VMRuntimeState::saving, VMRuntimeState::paused}));

    // A second save replaces the first, and its record is that of the new file.
    QFile file(stateFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(oldState);
    file.close();
    const QDateTime before = QDateTime::currentDateTimeUtc().addMSecs(-50);
    const std::optional<VMSavedState> second = save();
    ASSERT_TRUE(second);
    EXPECT_EQ(stateFileContent(), ScriptedVirtualMachine::savedStateContent());
    EXPECT_GE(second->createdAt, before);
    EXPECT_EQ(second->fileSizeBytes, FileMeasurements::allocatedSize(stateFile()));
}

TEST_F(VMSaveRestoreServiceTest, AFailedSaveKeepsTheOldStateAndLeavesTheMachinePaused)
{
    makeSession();
    m_machine->script().enqueue(Operation::saveMachineState, ScriptedAnswer::failure(machineFailure, 10ms));
    EXPECT_FALSE(save());
    const auto error = failure<VirtualMachineError>();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->errorCase(), VirtualMachineError::Case::saveStateFailed);
    EXPECT_EQ(error->detail(), QStringLiteral("The migration failed."));
    EXPECT_EQ(m_states, (QList<VMRuntimeState>{VMRuntimeState::paused, VMRuntimeState::saving, VMRuntimeState::paused}));
    EXPECT_EQ(stateFileContent(), oldState);
    EXPECT_EQ(savedStateEntries(), QStringList{QStringLiteral("MachineState.bin")});
    EXPECT_FALSE(bundleLog().contains(QStringLiteral("Saved VM state")));
}

TEST_F(VMSaveRestoreServiceTest, AMachineThatFailsDuringTheSaveIsShownAsItEndedNotPaused)
{
    const struct {
        const char *name;
        bool guestStops;
        VMRuntimeState shown;
    } cases[] = {
        {"QEMU dies", false, VMRuntimeState::error},
        {"the guest stops", true, VMRuntimeState::stopped},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.name);
        makeSession();
        m_states.clear();
        // The machine ends while it writes its state, as a QEMU killed in the middle of its migration does.
        QObject::connect(m_machine, &VirtualMachine::stateChanged, m_machine, [this, &testCase](VirtualMachine::State state) {
            if (state != MachineState::saving)
                return;
            if (testCase.guestStops)
                m_machine->raiseGuestDidStop();
            else
                m_machine->raiseDidStopWithError(VirtualizationError(VirtualizationError::Code::internalError, QStringLiteral("QEMU stopped unexpectedly")));
        });
        EXPECT_FALSE(save());
        const auto error = failure<VirtualMachineError>();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->errorCase(), VirtualMachineError::Case::saveStateFailed);
        EXPECT_EQ(m_session->runtimeState(), testCase.shown) << "a machine that is gone is not shown paused, with Resume offered";
        EXPECT_EQ(m_states.last(), testCase.shown);
        EXPECT_EQ(stateFileContent(), oldState);
        EXPECT_EQ(savedStateEntries(), QStringList{QStringLiteral("MachineState.bin")});
    }
}

TEST_F(VMSaveRestoreServiceTest, AMachineWhoseSharedFoldersStoppedIsRefusedAtOnceWithTheReason)
{
    makeSession();
    m_machine->raiseDirectorySharingDeviceStopped(
        0, VirtualizationError(VirtualizationError::Code::internalError, QStringLiteral("The server of the shared folder ended (killed by a signal).")));
    ASSERT_TRUE(m_session->sharedFoldersStopMessage());
    EXPECT_EQ(m_session->runtimeState(), VMRuntimeState::running) << "the machine runs on";

    EXPECT_FALSE(save());
    const auto error = failure<VirtualMachineError>();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->errorCase(), VirtualMachineError::Case::saveStateFailed);
    EXPECT_EQ(error->detail(), *m_session->sharedFoldersStopMessage());
    EXPECT_EQ(error->errorDescription(),
              QStringLiteral("The VM state could not be saved: The shared folders of “Ubuntu” stopped working: their file server ended, so the guest "
                             "can no longer use them. Shut the guest down and start the VM again to get them back."));
    EXPECT_TRUE(m_machine->calls().isEmpty()) << "nothing was asked of the machine: no pause, no migration to wait for";
    EXPECT_EQ(m_machine->state(), MachineState::running);
    EXPECT_TRUE(m_states.isEmpty());
    EXPECT_EQ(stateFileContent(), oldState);
}

TEST_F(VMSaveRestoreServiceTest, AMachineThatSharesFoldersSavesUnlessTheRunningMachineRefuses)
{
    VirtualMachineConfiguration sharing;
    MultipleDirectoryShare share;
    share.insert(QStringLiteral("KestrumAutomation"), SharedDirectory{m_home.path(), false});
    sharing.directorySharingDevices << VirtioFileSystemDeviceConfiguration{QStringLiteral("duvuzodovevav-shared"), share};
    makeSession(sharing);

    // The refusal comes before the pause: the machine runs on and nothing is written.
    const QString blocked = QStringLiteral("QEMU cannot save this virtual machine's state: a device cannot migrate");
    m_machine->setSaveRefusal(VirtualizationError(VirtualizationError::Code::notSupported, blocked));
    EXPECT_FALSE(save());
    const auto error = failure<VirtualMachineError>();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->errorCase(), VirtualMachineError::Case::saveStateFailed);
    EXPECT_EQ(error->detail(), blocked);
    EXPECT_TRUE(m_machine->calls().isEmpty());
    EXPECT_EQ(m_machine->state(), MachineState::running);
    EXPECT_TRUE(m_states.isEmpty());
    EXPECT_EQ(m_session->runtimeState(), VMRuntimeState::running);
    EXPECT_EQ(stateFileContent(), oldState);
    EXPECT_EQ(savedStateEntries(), QStringList{QStringLiteral("MachineState.bin")});

    m_machine->setSaveRefusal(std::nullopt);
    ASSERT_TRUE(save()) << "a machine whose folders can migrate was refused";
    EXPECT_EQ(m_machine->calls(), (QList<Operation>{Operation::pause, Operation::saveMachineState}));
    EXPECT_EQ(stateFileContent(), ScriptedVirtualMachine::savedStateContent());
}

TEST_F(VMSaveRestoreServiceTest, APauseFailureIsPassedOnWithTheStateUnchanged)
{
    makeSession();
    m_machine->script().enqueue(Operation::pause, ScriptedAnswer::failure(machineFailure));
    EXPECT_FALSE(save());
    const auto error = failure<VirtualizationError>();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->localizedDescription(), machineFailure.localizedDescription());
    EXPECT_TRUE(m_states.isEmpty());
    EXPECT_EQ(m_session->runtimeState(), VMRuntimeState::running);
    EXPECT_EQ(stateFileContent(), oldState);
}

TEST_F(VMSaveRestoreServiceTest, ASessionClosedDuringTheSaveLeavesTheOldState)
{
    makeSession();
    m_machine->forceState(MachineState::paused);
    m_machine->script().enqueue(Operation::saveMachineState, ScriptedAnswer::success(200ms));
    std::optional<VMSavedState> saved;
    QCoro::Task<> saving = keep(m_service.saveState(*m_session), saved);
    m_session.reset();
    EXPECT_TRUE(TaskWaiter::failureOf(std::move(saving), 10s));
    EXPECT_FALSE(saved);
    EXPECT_EQ(stateFileContent(), oldState);
    EXPECT_EQ(savedStateEntries(), QStringList{QStringLiteral("MachineState.bin")});
}

TEST_F(VMSaveRestoreServiceTest, TheStateIsWrittenInAFolderMarkedAsThisProcesssWorkThatNoSweepTakes)
{
    makeSession();
    m_machine->forceState(MachineState::paused);
    m_machine->script().enqueue(Operation::saveMachineState, ScriptedAnswer::success(1s));
    QSignalSpy changes(m_session.get(), &VirtualMachineSession::runtimeStateChanged);
    std::optional<VMSavedState> saved;
    QCoro::Task<> saving = keep(m_service.saveState(*m_session), saved);
    while (m_session->runtimeState() != VMRuntimeState::saving)
        ASSERT_TRUE(changes.wait());

    ASSERT_EQ(m_machine->savedStateURLs().size(), 1);
    const QString staging = QFileInfo(m_machine->savedStateURLs().constFirst()).path();
    EXPECT_EQ(QFileInfo(staging).path(), savedStateFolder());
    EXPECT_TRUE(QFileInfo::exists(staging + QLatin1Char('/') + StagingMarker::fileName.toString()));
    // However old it looks, a sweep leaves the work of a process that runs.
    LeftoverSweeper(m_logging, QDateTime::currentDateTimeUtc().addDays(1)).sweepBundle(m_home.path() + QStringLiteral("/Ubuntu.vm"));
    EXPECT_TRUE(QFileInfo(staging).isDir());

    // Cut short, the save takes its folder with it.
    m_session.reset();
    EXPECT_TRUE(TaskWaiter::failureOf(std::move(saving), 10s));
    EXPECT_EQ(savedStateEntries(), QStringList{QStringLiteral("MachineState.bin")});
}

TEST_F(VMSaveRestoreServiceTest, DiscardingRemovesOnlyTheFile)
{
    const QString bundle = m_home.path() + QStringLiteral("/Ubuntu.vm");
    m_service.discardSavedState(bundle);
    EXPECT_TRUE(savedStateEntries().isEmpty());
    EXPECT_TRUE(QDir(savedStateFolder()).exists());
    EXPECT_NO_THROW(m_service.discardSavedState(bundle));
}

} // namespace
