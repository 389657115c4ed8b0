// SPDX-License-Identifier: MIT
#pragma once

#include "BundleLoader.h"
#include "BundleWriter.h"
#include "FileViewer.h"
#include "LibraryChangeJournal.h"
#include "ProtectionMirror.h"
#include "RecentDestinations.h"
#include "SecurityScope.h"
#include "TrackedBundles.h"
#include "VMBundle.h"
#include "VMRuntimeState.h"

#include <QCoroTask>
#include <QDateTime>
#include <QFileInfo>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

class FileBookmarkService;
class LoggingService;
class SecurityScopedAccess;
class LeftoverSweeper;
class StagedBundleCopy;

/**
 * The library of VM bundles: the one published list every screen reads, and
 * the only path by which a changed bundle reaches the disk. Bundles live in
 * the library root folder or, tracked by bookmark, anywhere else.
 *
 * Every change is made on a copy of a VMBundle and handed to updateBundle()
 * (full write) or updateMetadata() (metadata and shared folders only); the
 * list changes only after the write succeeded, and bundlesChanged() is
 * emitted on every publish. Lives on the GUI thread; all log lines use the
 * category "Store".
 *
 * @code
 * VMBundle changed = *store.bundle(id);
 * changed.metadata.name = QStringLiteral("Build Agent");
 * store.updateBundle(changed);
 * @endcode
 */
class VMStore : public QObject
{
    Q_OBJECT

public:
    struct Services {
        const LoggingService &logging;
        FileBookmarkService &bookmarks;
        SecurityScopedAccess &access;
        FileViewer &fileViewer;
    };

    /// The run state of a VM that something runs right now, none for a VM that nothing runs.
    using LiveRuntimeStates = std::function<std::optional<VMRuntimeState>(const QUuid &id)>;

    /// Without a root, the default library folder (or "DuvuzodOvevav" in the temporary folder when that cannot be had).
    explicit VMStore(Services services, std::optional<QString> rootURL = std::nullopt, QObject *parent = nullptr);

    /**
     * Where a reload learns which VMs run: loading resets every stored run
     * state to stopped, which is true only of VMs that nothing runs, so a VM
     * that runs is published with its live state instead. Unset, every VM
     * counts as not running.
     */
    void setLiveRuntimeStates(LiveRuntimeStates states) { m_liveRuntimeStates = std::move(states); }

    // State and lookup
    const QList<VMBundle> &bundles() const { return m_bundles; }
    const QString &rootURL() const { return m_tracked.rootURL(); }
    const QString &registryURL() const { return m_tracked.registryURL(); }
    std::optional<VMBundle> bundle(const QUuid &id) const;
    /// Shows the VM's bundle in the file manager; why it could not goes to `failed`.
    void showInFileManager(const QUuid &id, FileViewer::FailureHandler failed) const;
    bool isOutsideLibraryRoot(const QString &url) const { return m_tracked.isOutsideLibraryRoot(url); }

    // Saving, reloading and registration
    void updateBundle(const VMBundle &bundle);
    void updateMetadata(const VMBundle &bundle);
    /**
     * Rebuilds the list from disk; never fails (a failure publishes an empty
     * library and logs why). The bundles are read on a worker thread; the
     * list is published here when they all are, with the saves, deletions
     * and registrations made meanwhile applied over what was read. Then
     * the protection mirrors of bundles that are gone and listed nowhere,
     * neither in the list just published nor in the registry of tracked
     * bundles, are removed (AbandonedMirrors).
     */
    QCoro::Task<> reload();
    /**
     * Reads every bundle of the root and every tracked one, blocking. A
     * bundle that fails to load is skipped with a log line. Of two bundles
     * with one identifier, the one whose folder still has the name its
     * metadata records wins, else the older folder: a stray copy never
     * hides its original. Leftovers of interrupted work from before this
     * store existed are removed on the way (LeftoverSweeper), in the root,
     * in every folder that holds a bundle of the library and in the recent
     * destinations of backups and exports; a copy that such work put in
     * place without its protection mirror gets one. The mirrors of
     * bundles that are gone and listed nowhere (the list as it stands, the
     * registry) are removed as by reload().
     */
    QList<VMBundle> loadLibraryBundles() const;
    /// The root folder's entries, hidden ones left out, sorted by name so the same bundle wins every time.
    QList<QString> libraryRootBundleURLs() const;
    /// What registerExistingBundle() does with a bundle whose identifier the library holds at another place.
    enum class IdentityClash {
        refuse,
        /// The bundle (a backup copy of a VM in the library) becomes a VM of its own: a new identifier is written into it.
        takeNewIdentity,
    };
    /**
     * Adds a bundle the user picked; registering a listed bundle again from
     * its own place is no clash. A bundle named as another VM of the library
     * (a backup of it, say) is renamed to the first free name ("My Debian 2")
     * and the name written into it, so no two cards read the same.
     */
    VMBundle registerExistingBundle(const QString &url, IdentityClash clash = IdentityClash::refuse);

    /// A new, safely named bundle folder with its standard subfolders inside `destination`; a failure leaves no part of it.
    QString createBundleDirectory(const QString &destination, const QString &name) const;

    // Deletion and backup
    /**
     * Takes the VM out of the library and off the disk: its folder, its
     * protection mirror and its registry entry. It leaves the list even when
     * files remain; only a bundle folder left behind fails, with
     * permissionDenied. An unknown identifier is no error. The caller has
     * made sure the VM is stopped.
     */
    void deleteBundle(const QUuid &id);
    /**
     * Takes a VM whose bundle folder has gone out of the list, and nothing
     * more: no file is touched, its protection mirror stays and a tracked
     * bundle stays tracked, so a reload lists it again once its folder is
     * back (a disk reconnected). An untracked bundle that is still gone at
     * a later load loses its mirror there (AbandonedMirrors). A VM whose folder is there, or an unknown
     * identifier, is left alone.
     */
    void forgetVanishedBundle(const QUuid &id);
    /// Removes the bundle's protection mirror (failures ignored) and then its folder (failures thrown).
    void removeBundleFromDisk(const QString &url) const;
    /// Removes the item at `url` with all its content when something is there; throws PlatformError.
    static void removeItemIfPresent(const QString &url);

    /**
     * Copies a stopped VM's bundle into `destination` under a free name
     * made from the VM's name and returns where the copy lies. The copy is
     * made under a hidden name and given its final name only once complete;
     * a failed copy is removed (backupFailed). Before anything is written, the
     * guest's part of the bundle is read through: an item there that cannot
     * be read fails the backup with a sentence that names it. The copy keeps the source's
     * metadata, identifier included, and is not added to the library.
     * Blocks for the length of the copy; backupBundleAsync() copies on a
     * worker thread instead.
     */
    QString backupBundle(const QUuid &id, const QString &destination);
    QCoro::Task<QString> backupBundleAsync(QUuid id, QString destination);
    /// "<destination>/<name>.vm", numbered until free, creating `destination`; nothing is created at the result.
    static QString backupDestinationURL(const QString &destination, const VMBundle &bundle);
    /// Strips the quarantine mark from `source`'s own items (BundleQuarantine) and copies it, sparsely, into the staged folder `target` (StagedBundleCopy::copyInto).
    static void copyBundleForBackup(const QString &source, const QString &target);

    // Bundle files
    void writeBundle(const VMBundle &bundle) const { m_writer.writeBundle(bundle); }
    VMBundle loadBundle(const QString &url, bool allowRecovery) const { return m_loader.loadBundle(url, allowRecovery); }
    const ProtectionMirror &protectionMirror() const { return m_mirror; }

    /// The folders that backups and exports wrote into lately, where a load looks for what they left when cut short.
    const RecentDestinations &recentDestinations() const { return m_destinations; }

    // Tracked bundles outside the root
    const TrackedBundles &trackedBundles() const { return m_tracked; }
    void trackBundle(const QString &url) const { m_tracked.trackBundle(url); }
    void untrackBundle(const QString &url) const { m_tracked.untrackBundle(url); }

Q_SIGNALS:
    void bundlesChanged(const QList<VMBundle> &bundles);
    /// A reload could not read the library; the list it published is empty. `reason` is what the user reads.
    void reloadFailed(const QString &reason);

private:
    /// `bundle`'s name, or the first free one when a VM of the library at another place than `location` has it.
    QString freeNameFor(const VMBundle &bundle, const QString &location) const;
    static VMBundle refreshedForSave(const VMBundle &bundle);
    QList<QString> libraryCandidateURLs() const;
    /// What a load on a worker found: the bundles, and the stored run states it reset, for the GUI thread to judge.
    struct DetachedLoad {
        QList<VMBundle> bundles;
        QList<BundleLoader::RuntimeStateReset> resets;
        /// The protection mirrors of bundles that were gone and listed nowhere (AbandonedMirrors), for the GUI thread to claim.
        QList<QString> abandonedMirrors;
    };
    /// The scan of loadLibraryBundles() with nothing of the store: it outlives a store destroyed while it runs.
    /// Where a load looks for leftovers besides the folders of its candidates.
    struct SweptPlaces {
        QString root;
        /// The folder of the library's own lists.
        QString registryFolder;
        QList<QString> destinations;
        /// Every bundle the registry tracks, found now or not (on a disk that is unplugged): their mirrors stay.
        QSet<QString> trackedPaths;
    };
    static DetachedLoad loadDetached(const QList<QString> &candidates, const SweptPlaces &places, const LoggingService *logging,
                                     const QDateTime &startedAt);
    /**
     * Logs the resets of VMs that do not run now; a VM that started while the
     * library was read kept its live state. What this store saved or deleted
     * meanwhile was not left over either.
     */
    void logLeftOverRuntimeStates(const QList<BundleLoader::RuntimeStateReset> &resets, const QSet<QUuid> &changedMeanwhile) const;
    /// The VMs that something runs now, of all the list has held.
    QSet<QUuid> runningIDs() const;
    SweptPlaces sweptPlaces() const;
    /// Also collects, in `abandonedMirrors`, the mirrors beside the library's bundles whose bundle is gone and listed nowhere.
    static QList<VMBundle> loadCandidates(const QList<QString> &candidates, const SweptPlaces &places, const BundleLoader &loader,
                                          const ProtectionMirror &mirror, const LeftoverSweeper &sweeper, const LoggingService &logging,
                                          QList<QString> &abandonedMirrors);
    /**
     * Takes the abandoned mirrors a load found away from their bundles' names
     * (AbandonedMirrors::claim), checking each again against the disk, the
     * published list and the registry; where they lie now, for removal.
     * None when the registry cannot be read.
     */
    QList<QString> claimAbandonedMirrors(const QList<QString> &mirrors) const;
    /// A copy renamed into place by a process that ended before it protected the copy (its StagingMarker is still there) gets its mirror now.
    static void protectInterruptedCopy(const VMBundle &bundle, const ProtectionMirror &mirror, const LoggingService &logging);
    /// Whether `candidate`, not `other`, is the original of two bundles with one identifier.
    static bool isOriginalOf(const VMBundle &candidate, const VMBundle &other);
    /// Security-scoped access to a bundle for as long as the result lives: on its location in the root, through its bookmark outside.
    std::unique_ptr<SecurityScope> bundleScope(const QString &url) const;
    VMBundle bundleForBackup(const QUuid &id) const;
    /// Fails the backup with `unreadable`, the sentence naming an item the guest wrote that the copy could not read.
    static void refuseUnreadableGuestContent(const std::optional<QString> &unreadable);
    QString reserveBackupURL(const QString &destination, const VMBundle &bundle) const;
    QString completeBackup(const VMBundle &bundle, StagedBundleCopy &staged, const QString &destination, const QString &target) const;
    void refuseVanishedBundle(const VMBundle &bundle) const;
    /// The bundle as loaded, with its live run state when something runs it.
    VMBundle withLiveRuntimeState(VMBundle bundle) const;
    void publish(QList<VMBundle> bundles);
    void publishSaved(const VMBundle &bundle);
    void log(const QString &message, const QString &bundleURL = {}) const;

    const LoggingService &m_logging;
    SecurityScopedAccess &m_access;
    FileViewer &m_fileViewer;
    TrackedBundles m_tracked;
    RecentDestinations m_destinations;
    ProtectionMirror m_mirror;
    BundleWriter m_writer;
    BundleLoader m_loader;
    LiveRuntimeStates m_liveRuntimeStates;
    /// Leftovers of interrupted work changed before this moment cannot belong to work of this store.
    QDateTime m_startedAt;
    QList<VMBundle> m_bundles;
    /// The list's changes while a reload reads the disk, for it to apply over what it read.
    LibraryChangeJournal m_changesDuringReload;
    /// Every VM the list has held: a VM is started from the list, and it goes on running when a failed reload empties the list.
    QSet<QUuid> m_listedIDs;
};
