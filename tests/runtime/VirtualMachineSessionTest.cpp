// SPDX-License-Identifier: MIT
#include "VirtualMachineSession.h"

#include "FileBookmarkService.h"
#include "HostSecurityScopedAccess.h"
#include "LoggingService.h"
#include "QtPrinters.h"
#include "ScriptedVirtualMachine.h"
#include "TemporaryHome.h"
#include "TestBundle.h"
#include "VMSharedFolderService.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <memory>

namespace {

const VirtualizationError failure(VirtualizationError::Code::internalError, QStringLiteral("QEMU stopped unexpectedly (killed by a signal)."));

class VirtualMachineSessionTest : public ::testing::Test
{
protected:
    VirtualMachineSessionTest()
    {
        bundle = TestBundle(m_home.path() + QStringLiteral("/Guest.vm")).runState(VMRuntimeState::paused);
        QDir().mkpath(bundle.bundleURL);
        configuration.cpuCount = 3;

        auto machine = std::make_unique<ScriptedVirtualMachine>(configuration);
        this->machine = machine.get();
        session = std::make_unique<VirtualMachineSession>(bundle, configuration, std::move(machine), QStringList{QStringLiteral("/home/me/Projects")},
                                                          sharedFolders, logging);
    }

    QString bundleLog() const
    {
        QFile file(bundle.bundleURL + QStringLiteral("/Logs/duvuzodovevav.log"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    /// Records every event the handler is given, by kind.
    void recordEvents()
    {
        session->setEventHandler([this](const VirtualMachineSession::Event &event) {
            if (const auto *stopped = std::get_if<VirtualMachineSession::DidStopWithError>(&event))
                events << QStringLiteral("didStopWithError: ") + stopped->error.localizedDescription();
            else if (const auto *network = std::get_if<VirtualMachineSession::NetworkDisconnected>(&event))
                events << QStringLiteral("networkDisconnected: ") + network->error.localizedDescription();
            else if (const auto *sharing = std::get_if<VirtualMachineSession::SharedFoldersStopped>(&event))
                events << QStringLiteral("sharedFoldersStopped: ") + sharing->error.localizedDescription();
            else
                events << QStringLiteral("guestDidStop in ") + toRaw(session->runtimeState());
        });
    }

    TemporaryHome m_home;
    FileBookmarkService bookmarks;
    HostSecurityScopedAccess access;
    const VMSharedFolderService sharedFolders{bookmarks, access};
    const LoggingService logging{};
    VMBundle bundle;
    VirtualMachineConfiguration configuration;
    ScriptedVirtualMachine *machine = nullptr;
    std::unique_ptr<VirtualMachineSession> session;
    QStringList events;
};

TEST_F(VirtualMachineSessionTest, StartsFromTheBundlesStoredStateWithNoErrorAndNoHandler)
{
    EXPECT_EQ(session->runtimeState(), VMRuntimeState::paused);
    EXPECT_EQ(session->lastErrorMessage(), std::nullopt);
    EXPECT_FALSE(session->eventHandler());
    EXPECT_EQ(session->bundle(), bundle);
    EXPECT_EQ(session->id(), bundle.metadata.id);
    EXPECT_EQ(session->configuration(), configuration);
    EXPECT_EQ(&session->virtualMachine(), machine);
    EXPECT_EQ(session->accessedSecurityScopedURLs(), QStringList{QStringLiteral("/home/me/Projects")});
    EXPECT_EQ(&session->sharedFolderService(), &sharedFolders);
}

TEST_F(VirtualMachineSessionTest, GuestStopWithoutAHandlerStillStopsAndLogs)
{
    machine->raiseGuestDidStop();
    EXPECT_EQ(session->runtimeState(), VMRuntimeState::stopped);
    EXPECT_TRUE(bundleLog().contains(QStringLiteral("] [Runtime] Guest stopped VM\n"))) << bundleLog().toStdString();

    recordEvents();
    session->setRuntimeState(VMRuntimeState::running);
    machine->raiseGuestDidStop();
    EXPECT_EQ(events, QStringList{QStringLiteral("guestDidStop in stopped")});
}

TEST_F(VirtualMachineSessionTest, StopWithErrorSetsTheMessageBeforeTheStateAndTellsTheHandler)
{
    recordEvents();
    std::optional<QString> messageWhenStateChanged;
    QObject::connect(session.get(), &VirtualMachineSession::runtimeStateChanged, [&] { messageWhenStateChanged = session->lastErrorMessage(); });

    machine->raiseDidStopWithError(failure);
    EXPECT_EQ(messageWhenStateChanged, failure.localizedDescription());
    EXPECT_EQ(session->runtimeState(), VMRuntimeState::error);
    EXPECT_EQ(session->lastErrorMessage(), failure.localizedDescription());
    EXPECT_TRUE(bundleLog().contains(QStringLiteral("] [Runtime] ") + failure.localizedDescription() + QLatin1Char('\n'))) << bundleLog().toStdString();
    EXPECT_EQ(events, QStringList{QStringLiteral("didStopWithError: ") + failure.localizedDescription()});
}

TEST_F(VirtualMachineSessionTest, NetworkDisconnectionIsLoggedAndPassedOnWithoutChangingTheState)
{
    recordEvents();
    const VirtualizationError lost(VirtualizationError::Code::networkError, QStringLiteral("The bridge br0 went away."));
    machine->raiseNetworkAttachmentDisconnected(0, lost);

    EXPECT_EQ(session->runtimeState(), VMRuntimeState::paused);
    EXPECT_EQ(session->lastErrorMessage(), std::nullopt);
    EXPECT_TRUE(bundleLog().contains(QStringLiteral("] [Network] The bridge br0 went away.\n"))) << bundleLog().toStdString();
    EXPECT_EQ(events, QStringList{QStringLiteral("networkDisconnected: The bridge br0 went away.")});
}

TEST_F(VirtualMachineSessionTest, RecordingAnOperationErrorNeedsNoEvent)
{
    recordEvents();
    session->recordStopError(failure);
    EXPECT_EQ(session->runtimeState(), VMRuntimeState::error);
    EXPECT_EQ(session->lastErrorMessage(), failure.localizedDescription());
    EXPECT_TRUE(events.isEmpty());
}

TEST_F(VirtualMachineSessionTest, EveryAssignmentIsAnnouncedAndTheIdentifierFollowsTheBundle)
{
    int bundleChanges = 0;
    int stateChanges = 0;
    int errorChanges = 0;
    QObject::connect(session.get(), &VirtualMachineSession::bundleChanged, [&] { ++bundleChanges; });
    QObject::connect(session.get(), &VirtualMachineSession::runtimeStateChanged, [&] { ++stateChanges; });
    QObject::connect(session.get(), &VirtualMachineSession::lastErrorMessageChanged, [&] { ++errorChanges; });

    session->setRuntimeState(VMRuntimeState::paused);
    session->setLastErrorMessage(std::nullopt);
    VMBundle renamed = bundle;
    renamed.metadata.name = QStringLiteral("Renamed");
    session->setBundle(renamed);
    session->setBundle(renamed);

    EXPECT_EQ(stateChanges, 1);
    EXPECT_EQ(errorChanges, 1);
    EXPECT_EQ(bundleChanges, 2);
    EXPECT_EQ(session->bundle().metadata.name, QStringLiteral("Renamed"));
    EXPECT_EQ(session->id(), bundle.metadata.id);
}

TEST_F(VirtualMachineSessionTest, StoppedSharedFoldersAreToldOnceLoggedAndForgottenByTheNextRun)
{
    recordEvents();
    int messageChanges = 0;
    QObject::connect(session.get(), &VirtualMachineSession::sharedFoldersStopMessageChanged, [&] { ++messageChanges; });
    machine->forceState(VirtualMachine::State::running);
    session->setRuntimeState(VMRuntimeState::running);
    const VirtualizationError first(VirtualizationError::Code::internalError, QStringLiteral("The server of the shared folder \"a\" ended (exit status 1)."));
    const VirtualizationError second(VirtualizationError::Code::internalError, QStringLiteral("The server of the shared folder \"b\" ended (exit status 1)."));
    machine->raiseDirectorySharingDeviceStopped(0, first);
    machine->raiseDirectorySharingDeviceStopped(1, second);

    const QString told = QStringLiteral("The shared folders of “Guest” stopped working: their file server ended, so the guest can no longer use them. "
                                        "Shut the guest down and start the VM again to get them back.");
    EXPECT_EQ(session->sharedFoldersStopMessage(), told);
    EXPECT_EQ(messageChanges, 1);
    EXPECT_EQ(events, QStringList{QStringLiteral("sharedFoldersStopped: ") + first.localizedDescription()}) << "one stop is news, the next adds nothing";
    EXPECT_EQ(session->runtimeState(), VMRuntimeState::running) << "the machine runs on";
    // Each server's end is in the VM's log with its cause.
    EXPECT_EQ(bundleLog().count(QStringLiteral("] [Runtime] ") + told + QLatin1Char(' ') + first.localizedDescription() + QLatin1Char('\n')), 1);
    EXPECT_EQ(bundleLog().count(QStringLiteral("] [Runtime] ") + told + QLatin1Char(' ') + second.localizedDescription() + QLatin1Char('\n')), 1);

    // A new run serves the folders afresh.
    machine->forceState(VirtualMachine::State::stopped);
    EXPECT_TRUE(session->sharedFoldersStopMessage()) << "a stop alone does not bring them back";
    machine->forceState(VirtualMachine::State::starting);
    EXPECT_EQ(session->sharedFoldersStopMessage(), std::nullopt);
    EXPECT_EQ(messageChanges, 2);
}

} // namespace
