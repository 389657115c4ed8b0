// SPDX-License-Identifier: MIT
#pragma once

#include "ActionsInFlight.h"
#include "FileViewer.h"
#include "MessageKind.h"
#include "VMBundle.h"
#include "VMColorTag.h"
#include "VMDetailsActions.h"
#include "VMSortOrder.h"
#include "VMStarter.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <optional>

class FileChooser;
class LoggingService;
class QEMUSetupService;
class VMBundleOperations;
class VMDetailsViewModel;
class VMStore;
class VirtualMachineCoordinator;

/**
 * The state of the main window's library and its actions: the VMs as shown
 * (filtered by the search text, in the chosen order), the selection, the
 * banner that reports the last action and the VM waiting for its delete
 * confirmation; start, stop, rename, colour tag, delete, import, backup and
 * clone.
 *
 * The list follows the store's, delivered one turn of the event loop after
 * each change, with each VM's run state as the coordinator knows it now (a
 * Windows VM under QEMU shows running; a reload never shows a running VM as
 * stopped). Actions report failures in bannerMessage and the application
 * log ("Library"), never by throwing (deleteBundle excepted); each clears
 * the banner as it begins, so that a message belongs to the last action;
 * they read the
 * current bundle from the store when they run, and a second press of an
 * action already running on the same VM is ignored. Every published
 * property announces every assignment. GUI thread only.
 *
 * @code
 * LibraryViewModel library({store, coordinator, operations, chooser, viewer, logging});
 * library.setSearchText(QStringLiteral("linux"));
 * library.applyFilterAndSort();
 * co_await library.start(*library.selectedBundleID(), false);
 * @endcode
 */
class LibraryViewModel final : public QObject
{
    Q_OBJECT

public:
    struct Services {
        VMStore &store;
        VirtualMachineCoordinator &coordinator;
        VMBundleOperations &operations;
        FileChooser &chooser;
        FileViewer &fileViewer;
        const LoggingService &logging;
        /// Installs QEMU before a Windows guest starts; none starts it with the QEMU the host has.
        QEMUSetupService *qemuSetup = nullptr;
    };

    explicit LibraryViewModel(Services services, QObject *parent = nullptr);
    ~LibraryViewModel() override;

    // Published
    const QList<VMBundle> &bundles() const { return m_bundles; }
    const std::optional<QUuid> &selectedBundleID() const { return m_selectedBundleID; }
    void setSelectedBundleID(const std::optional<QUuid> &id);
    /// The user picks a VM (in the list, or by creating it): the message of an earlier action goes when the selection changes.
    void select(const std::optional<QUuid> &id);
    const std::optional<QString> &bannerMessage() const { return m_bannerMessage; }
    /// Whether the banner reports something done or something that failed.
    MessageKind bannerKind() const { return m_bannerKind; }
    void setBannerMessage(const std::optional<QString> &message, MessageKind kind = MessageKind::failure);
    const std::optional<QUuid> &pendingDeletionBundleID() const { return m_pendingDeletionBundleID; }
    void setPendingDeletionBundleID(const std::optional<QUuid> &id);
    const QString &searchText() const { return m_searchText; }
    /// Whoever changes the search text calls applyFilterAndSort() afterwards. A changed search clears the banner.
    void setSearchText(const QString &text);
    VMSortOrder sortOrder() const { return m_sortOrder; }
    /// Whoever changes the order calls applyFilterAndSort() afterwards.
    void setSortOrder(VMSortOrder order);

    /// The library the list comes from.
    VMStore &store() const { return m_store; }

    /// Whether one of the actions below runs on the VM now.
    bool isBusy(const QUuid &id) const { return m_inFlight.runsOn(id); }
    /// What decides the VM's actions in the list and the menus: the bundle as the list shows it and whether an action runs on it.
    VMDetailsActions::Inputs actionInputs(const VMBundle &bundle) const;

    /// The last list the store delivered, in its order.
    const QList<VMBundle> &allBundles() const { return m_allBundles; }

    // Derived
    /// The selected VM when the visible list shows it.
    std::optional<VMBundle> selectedBundle() const;
    bool isSelectedBundleStopped() const;
    std::optional<QString> pendingDeletionBundleName() const;

    /// Recomputes the visible list from the last delivered one, the search text and the order.
    void applyFilterAndSort();
    /// Whether the VM's name, guest system, run state or colour tag contains `query` (trimmed and lowercased already).
    static bool bundleMatchesSearch(const VMBundle &bundle, const QString &query);

    // Actions
    /// Reads the library folder again; a failure shows in the banner.
    QCoro::Task<> reload();
    /// Selects the VM, then shows its bundle in the file manager; where none answers, the banner says so.
    void revealBundle(const QUuid &id);
    /// Starts the VM as every Start does (VMStarter), then asks for its console with consoleRequested().
    QCoro::Task<> start(QUuid id, bool resumeSavedState);
    QCoro::Task<> stop(QUuid id);
    void renameBundle(const QUuid &id, const QString &name);
    void setColorTag(const QUuid &id, std::optional<VMColorTag> tag);
    QCoro::Task<> deletePendingBundle();
    /// Deletes the VM or throws the coordinator's refusal unchanged; the caller shows it.
    void deleteBundle(const QUuid &id);
    /**
     * Whether the VM may be deleted now, asked before the confirmation: the
     * refusal deleteBundle() would give (a VM that runs, a file operation
     * under way) goes to the banner and the answer is false.
     */
    bool mayDelete(const QUuid &id);
    QCoro::Task<> importBundle();
    QCoro::Task<> backupBundle(QUuid id);
    QCoro::Task<> cloneBundle(QUuid id);

    /**
     * The window tells one action's outcome at a time: anything the details
     * pane of `details` says or clears (each of its actions clears its
     * message as it begins) takes the library's message away, and the
     * library's next message takes the pane's. Holds while both live.
     */
    void shareBannerWith(VMDetailsViewModel &details);

Q_SIGNALS:
    void bundlesChanged();
    void selectedBundleIDChanged();
    void bannerMessageChanged();
    void pendingDeletionBundleIDChanged();
    void searchTextChanged();
    void sortOrderChanged();
    /// An action began or ended on some VM: isBusy() may answer otherwise.
    void busyChanged();
    /// A start succeeded: the VM's console should open (or come to the front), as it does for a start in the details pane.
    void consoleRequested(const QUuid &id);

private:
    void receiveBundles(const QList<VMBundle> &bundles);
    /// After the VM left the library: the first visible VM that is not it, or none.
    void selectFirstVisibleExcept(const QUuid &gone);
    /// Why a backup may not go into `destination` (the library folder or inside a bundle), or none.
    std::optional<QString> backupDestinationRefusal(const QString &destination) const;
    /// Shows that the VM's shared folders stopped, until a new run of it serves them again.
    void showSharedFoldersStopped(const QUuid &id, const QString &message);
    /// Takes the news of stopped shared folders out of the banner once the VM's current run has them again.
    void dropOutdatedSharedFoldersNews();
    /// Shows the failure in the banner and logs it; returns its text.
    QString report(const std::exception &error);
    void log(const QString &message) const;
    /// Puts why no file manager could show an item into the banner, after `prefix`, while this view model lives.
    FileViewer::FailureHandler fileViewerFailureReport(const QString &prefix = {}, MessageKind kind = MessageKind::failure);

    VMStore &m_store;
    VirtualMachineCoordinator &m_coordinator;
    VMBundleOperations &m_operations;
    FileChooser &m_chooser;
    FileViewer &m_fileViewer;
    const LoggingService &m_logging;
    const VMStarter m_starter;

    QList<VMBundle> m_bundles;
    std::optional<QUuid> m_selectedBundleID;
    std::optional<QString> m_bannerMessage;
    /// Set while the library clears the details pane's message in favour of its own.
    bool m_clearingPaneMessage = false;
    MessageKind m_bannerKind = MessageKind::failure;
    /// The VM whose stopped shared folders the banner tells of, while it does.
    std::optional<QUuid> m_sharedFoldersNewsID;
    std::optional<QUuid> m_pendingDeletionBundleID;
    QString m_searchText;
    VMSortOrder m_sortOrder = VMSortOrder::dateCreatedNewest;
    QList<VMBundle> m_allBundles;
    ActionsInFlight m_inFlight;
};
