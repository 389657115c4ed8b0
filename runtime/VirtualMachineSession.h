// SPDX-License-Identifier: MIT
#pragma once

#include "VMBundle.h"
#include "VMRuntimeState.h"
#include "VirtualMachine.h"
#include "VirtualMachineConfiguration.h"
#include "VirtualizationError.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>
#include <variant>

class LoggingService;
class VMSharedFolderService;

/**
 * One runnable virtual machine together with the bundle it was made from.
 * The session owns the machine and the configuration it was made from,
 * publishes the run state, the last error and whether the shared folders
 * stopped for the views, and passes the machine's events on to its event
 * handler (the coordinator). It never
 * starts, stops or saves the machine itself: the runtime and save/restore
 * services drive the machine and write the run state. Identified by its
 * bundle's metadata id. GUI thread only. The machine lives as long as the
 * session: a QEMU still running when the session goes is ended with it,
 * rather than left behind with nobody to drive it.
 *
 * Every assignment of a published property is announced with its change
 * signal, equal values included.
 *
 * @code
 * auto session = std::make_unique<VirtualMachineSession>(bundle, configuration, factory.makeVirtualMachine(...),
 *                                                        sharing.accessedSecurityScopedURLs, sharedFolders, logging);
 * session->setEventHandler([this, id = session->id()](const VirtualMachineSession::Event &event) { finalize(id, event); });
 * @endcode
 */
class VirtualMachineSession final : public QObject
{
    Q_OBJECT

public:
    /// The machine stopped because of an error.
    struct DidStopWithError {
        VirtualizationError error;
    };
    /// A network attachment of the machine was lost; the machine runs on.
    struct NetworkDisconnected {
        VirtualizationError error;
    };
    /// The guest shut the machine down.
    struct GuestDidStop {
    };
    /// A shared folder's server ended; the machine runs on, but the guest can no longer use its shared folders.
    struct SharedFoldersStopped {
        VirtualizationError error;
    };
    using Event = std::variant<DidStopWithError, NetworkDisconnected, GuestDidStop, SharedFoldersStopped>;
    /// Called last, after the session has updated itself; it must not destroy the session before it returns (use deleteLater()).
    using EventHandler = std::function<void(const Event &)>;

    /**
     * Takes over `virtualMachine` and becomes the receiver of its events. The
     * run state starts as the bundle's stored one, the last error absent and
     * the event handler unset.
     */
    VirtualMachineSession(VMBundle bundle, VirtualMachineConfiguration configuration, std::unique_ptr<VirtualMachine> virtualMachine,
                          QStringList accessedSecurityScopedURLs, const VMSharedFolderService &sharedFolderService,
                          const LoggingService &loggingService, QObject *parent = nullptr);
    ~VirtualMachineSession() override;

    /// The bundle's metadata id.
    QUuid id() const { return m_bundle.metadata.id; }

    const VMBundle &bundle() const { return m_bundle; }
    void setBundle(const VMBundle &bundle);
    VMRuntimeState runtimeState() const { return m_runtimeState; }
    void setRuntimeState(VMRuntimeState state);
    const std::optional<QString> &lastErrorMessage() const { return m_lastErrorMessage; }
    void setLastErrorMessage(const std::optional<QString> &message);
    /**
     * What the user is told once the server of one of the machine's shared
     * folders has ended in this run: the guest's calls into them hang, its
     * state cannot be saved, and only a new start brings them back. Absent
     * while they work; cleared when the machine starts again.
     */
    const std::optional<QString> &sharedFoldersStopMessage() const { return m_sharedFoldersStopMessage; }

    const VirtualMachineConfiguration &configuration() const { return m_configuration; }
    VirtualMachine &virtualMachine() const { return *m_virtualMachine; }
    /// Paths whose security-scoped access the configuration's builder started; the coordinator stops it when it drops the session.
    const QStringList &accessedSecurityScopedURLs() const { return m_accessedSecurityScopedURLs; }
    const VMSharedFolderService &sharedFolderService() const { return m_sharedFolderService; }
    const LoggingService &loggingService() const { return m_loggingService; }

    const EventHandler &eventHandler() const { return m_eventHandler; }
    void setEventHandler(EventHandler handler) { m_eventHandler = std::move(handler); }

    /**
     * Records an error that stopped the machine or failed an operation: the
     * last error message becomes its description, then the run state
     * becomes error, then the description is logged under "Runtime" to the
     * bundle's log.
     */
    void recordStopError(const VirtualizationError &error);

Q_SIGNALS:
    void bundleChanged();
    void runtimeStateChanged();
    void lastErrorMessageChanged();
    void sharedFoldersStopMessageChanged();

private:
    void guestDidStop();
    void didStopWithError(const VirtualizationError &error);
    void networkAttachmentWasDisconnected(const VirtualizationError &error);
    void directorySharingDeviceStopped(const VirtualizationError &error);
    void followMachineState(VirtualMachine::State state);
    void setSharedFoldersStopMessage(const std::optional<QString> &message);
    void notify(const Event &event) const;

    VMBundle m_bundle;
    VMRuntimeState m_runtimeState;
    std::optional<QString> m_lastErrorMessage;
    std::optional<QString> m_sharedFoldersStopMessage;
    VirtualMachineConfiguration m_configuration;
    std::unique_ptr<VirtualMachine> m_virtualMachine;
    EventHandler m_eventHandler;
    QStringList m_accessedSecurityScopedURLs;
    const VMSharedFolderService &m_sharedFolderService;
    const LoggingService &m_loggingService;
};
