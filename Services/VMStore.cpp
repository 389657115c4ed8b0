// SPDX-License-Identifier: MIT
#include "VMStore.h"

#include "AbandonedMirrors.h"
#include "AppDirectories.h"
#include "BackgroundWork.h"
#include "BundleFolderNaming.h"
#include "BundleQuarantine.h"
#include "BundleSkeleton.h"
#include "FileMeasurements.h"
#include "FileOperations.h"
#include "FileViewer.h"
#include "FreeName.h"
#include "GuestWrittenContent.h"
#include "JSONCoding.h"
#include "LeftoverSweeper.h"
#include "LoggingService.h"
#include "SecurityScope.h"
#include "StagedBundleCopy.h"
#include "StagingMarker.h"
#include "VirtualMachineError.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QPointer>
#include <QSet>

#include <algorithm>
#include <utility>

using BundleSkeleton::lastPathComponent;
using BundleSkeleton::standardizedFileURL;

namespace {

QString defaultRootURL()
{
    try {
        return AppDirectories::libraryRoot();
    } catch (const std::exception &) {
        return QDir::tempPath() + QStringLiteral("/DuvuzodOvevav");
    }
}

QString defaultRegistryURL()
{
    try {
        return AppDirectories::applicationSupportRoot() + QStringLiteral("/TrackedBundles.json");
    } catch (const std::exception &) {
        return QDir::tempPath() + QStringLiteral("/TrackedBundles.json");
    }
}

QString describe(const std::exception &error)
{
    return QString::fromUtf8(error.what());
}

} // namespace

VMStore::VMStore(Services services, std::optional<QString> rootURL, QObject *parent)
    : QObject(parent)
    , m_logging(services.logging)
    , m_access(services.access)
    , m_fileViewer(services.fileViewer)
    , m_tracked(rootURL ? standardizedFileURL(*rootURL) : defaultRootURL(), defaultRegistryURL(), services.bookmarks, services.access, services.logging)
    , m_destinations(QFileInfo(m_tracked.registryURL()).path() + QStringLiteral("/RecentDestinations.json"), services.logging)
    , m_mirror(services.logging)
    , m_writer(m_mirror, m_tracked)
    , m_loader(m_mirror, services.logging)
    , m_startedAt(QDateTime::currentDateTimeUtc())
{
}

std::optional<VMBundle> VMStore::bundle(const QUuid &id) const
{
    const auto found = std::find_if(m_bundles.cbegin(), m_bundles.cend(), [&](const VMBundle &entry) { return entry.id() == id; });
    if (found == m_bundles.cend())
        return std::nullopt;
    return *found;
}

void VMStore::showInFileManager(const QUuid &id, FileViewer::FailureHandler failed) const
{
    if (const auto found = bundle(id))
        m_fileViewer.revealItem(found->bundleURL, std::move(failed));
}

VMBundle VMStore::refreshedForSave(const VMBundle &bundle)
{
    // A longer list would be written but never loaded again, which would hide the VM from the library.
    if (bundle.sharedFolders.size() > maximumSharedFolderCount)
        throw VirtualMachineError::invalidOperation(QStringLiteral("A VM can have at most %1 shared folders.").arg(maximumSharedFolderCount));
    VMBundle copy = bundle;
    VMMetadata &metadata = copy.metadata;
    metadata.bundleName = lastPathComponent(copy.bundleURL);
    metadata.sharedFolderCount = copy.sharedFolders.size();
    metadata.firstBootEnabled = copy.firstBootConfig && copy.firstBootConfig->enabled;
    metadata.hasSavedState = metadata.savedState.has_value();
    // Whole seconds, as the file keeps them, so the published copy equals what a reload reads back.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    metadata.updatedAt = now.addMSecs(-now.time().msec());
    metadata.normalize();
    return copy;
}

void VMStore::refuseVanishedBundle(const VMBundle &bundle) const
{
    // Writing would bring back a skeleton of a bundle that was deleted or whose disk was unplugged.
    if (this->bundle(bundle.id()) && !QFileInfo(bundle.bundleURL).isDir())
        throw VirtualMachineError::invalidBundle(
            QStringLiteral("The bundle folder of \"%1\" no longer exists at %2.").arg(bundle.metadata.name, bundle.bundleURL));
}

void VMStore::updateBundle(const VMBundle &bundle)
{
    refuseVanishedBundle(bundle);
    const VMBundle refreshed = refreshedForSave(bundle);
    if (!isOutsideLibraryRoot(refreshed.bundleURL)) {
        const SecurityScope scope(m_access, refreshed.bundleURL);
        m_writer.writeBundle(refreshed);
    } else {
        m_tracked.withTrackedSecurityScope(refreshed.bundleURL, [&] { m_writer.writeBundle(refreshed); });
    }
    publishSaved(refreshed);
}

void VMStore::updateMetadata(const VMBundle &bundle)
{
    refuseVanishedBundle(bundle);
    const VMBundle refreshed = refreshedForSave(bundle);
    {
        const SecurityScope scope(m_access, refreshed.bundleURL);
        const VMBundle::Layout layout = refreshed.layout();
        FileOperations::writeAtomically(layout.metadataURL(), sharedJSONEncoder().encode(refreshed.metadata));
        FileOperations::writeAtomically(layout.sharedFoldersURL(), sharedJSONEncoder().encode(refreshed.sharedFolders));
    }
    publishSaved(refreshed);
}

QCoro::Task<> VMStore::reload()
{
    const QPointer<VMStore> self(this);
    // The worker may read a bundle before a save, deletion or registration made here while it runs.
    const LibraryChangeJournal::Mark since = m_changesDuringReload.begin();
    bool journalEnded = false;
    const auto endJournal = [&] {
        if (!std::exchange(journalEnded, true))
            m_changesDuringReload.end();
    };
    try {
        FileOperations::createFolders(rootURL());
        // Reading and decoding every bundle takes long for a large or hostile library: it runs on a worker, and only
        // the list it yields is published here. The registry of tracked bundles is read and refreshed here first.
        DetachedLoad detached = co_await BackgroundWork::run(&VMStore::loadDetached, libraryCandidateURLs(), sweptPlaces(), &m_logging, m_startedAt);
        if (!self)
            co_return;
        logLeftOverRuntimeStates(detached.resets, m_changesDuringReload.changedSince(since));
        QList<VMBundle> loaded = std::move(detached.bundles);
        for (VMBundle &bundle : loaded)
            bundle = withLiveRuntimeState(std::move(bundle));
        loaded = m_changesDuringReload.appliedSince(since, std::move(loaded));
        endJournal();
        std::stable_sort(loaded.begin(), loaded.end(),
                         [](const VMBundle &left, const VMBundle &right) { return left.metadata.createdAt > right.metadata.createdAt; });
        const qsizetype count = loaded.size();
        publish(std::move(loaded));
        log(QStringLiteral("Loaded %1 VM bundle(s) from %2").arg(count).arg(rootURL()));
        // Claimed here, against the list just published; the removal of a whole disk image's last link runs on a worker.
        if (const QList<QString> claimed = claimAbandonedMirrors(detached.abandonedMirrors); !claimed.isEmpty())
            co_await BackgroundWork::run(&AbandonedMirrors::remove, claimed, &m_logging);
    } catch (const std::exception &error) {
        if (!self)
            co_return;
        endJournal();
        publish({});
        log(describe(error));
        Q_EMIT reloadFailed(describe(error));
    }
}

QList<VMBundle> VMStore::loadLibraryBundles() const
{
    QList<QString> abandonedMirrors;
    QList<VMBundle> loaded = loadCandidates(libraryCandidateURLs(), sweptPlaces(), BundleLoader(m_mirror, m_logging, runningIDs()), m_mirror,
                                            LeftoverSweeper(m_logging, m_startedAt), m_logging, abandonedMirrors);
    AbandonedMirrors::remove(claimAbandonedMirrors(abandonedMirrors), &m_logging);
    return loaded;
}

VMStore::SweptPlaces VMStore::sweptPlaces() const
{
    SweptPlaces places{rootURL(), QFileInfo(registryURL()).path(), m_destinations.folders(), {}};
    for (const TrackedVMBundleReference &reference : m_tracked.readTrackedRegistry())
        places.trackedPaths.insert(standardizedFileURL(reference.lastKnownPath));
    return places;
}

QList<QString> VMStore::claimAbandonedMirrors(const QList<QString> &mirrors) const
{
    if (mirrors.isEmpty())
        return {};
    QSet<QString> listed;
    try {
        for (const TrackedVMBundleReference &reference : m_tracked.readTrackedRegistry())
            listed.insert(standardizedFileURL(reference.lastKnownPath));
    } catch (const std::exception &error) {
        log(QStringLiteral("Kept the protection mirrors of bundles that are gone: the tracked bundles could not be read: ") + describe(error));
        return {};
    }
    for (const VMBundle &bundle : m_bundles)
        listed.insert(standardizedFileURL(bundle.bundleURL));
    QList<QString> claimed;
    for (const QString &mirror : mirrors) {
        if (std::optional<QString> taken = AbandonedMirrors::claim(mirror, listed, m_logging))
            claimed.append(std::move(*taken));
    }
    return claimed;
}

QList<QString> VMStore::libraryCandidateURLs() const
{
    return libraryRootBundleURLs() + m_tracked.trackedBundleURLs();
}

VMStore::DetachedLoad VMStore::loadDetached(const QList<QString> &candidates, const SweptPlaces &places, const LoggingService *logging,
                                            const QDateTime &startedAt)
{
    const ProtectionMirror mirror(*logging);
    DetachedLoad load;
    const BundleLoader loader(mirror, *logging, [&load](const BundleLoader::RuntimeStateReset &reset) { load.resets.append(reset); });
    load.bundles = loadCandidates(candidates, places, loader, mirror, LeftoverSweeper(*logging, startedAt), *logging, load.abandonedMirrors);
    return load;
}

void VMStore::logLeftOverRuntimeStates(const QList<BundleLoader::RuntimeStateReset> &resets, const QSet<QUuid> &changedMeanwhile) const
{
    for (const BundleLoader::RuntimeStateReset &reset : resets) {
        if (changedMeanwhile.contains(reset.id))
            continue;
        if (!m_liveRuntimeStates || !m_liveRuntimeStates(reset.id))
            m_logging.log(reset.message(), QStringLiteral("Store"), reset.bundleURL);
    }
}

QSet<QUuid> VMStore::runningIDs() const
{
    QSet<QUuid> running;
    if (m_liveRuntimeStates) {
        for (const QUuid &id : m_listedIDs) {
            if (m_liveRuntimeStates(id))
                running.insert(id);
        }
    }
    return running;
}

QList<VMBundle> VMStore::loadCandidates(const QList<QString> &candidates, const SweptPlaces &places, const BundleLoader &loader,
                                        const ProtectionMirror &mirror, const LeftoverSweeper &sweeper, const LoggingService &logging,
                                        QList<QString> &abandonedMirrors)
{
    const auto log = [&](const QString &message) { logging.log(message, QStringLiteral("Store")); };
    QSet<QString> seenPaths;
    // The root even when it holds no bundle: a clone cut short may have outlived its source.
    QSet<QString> sweptFolders{standardizedFileURL(places.root)};
    sweeper.sweepStagingFolders(places.root);
    sweeper.sweepApplicationFolder(places.registryFolder);
    QHash<QUuid, qsizetype> acceptedIndex;
    QList<VMBundle> accepted;
    for (const QString &candidate : candidates) {
        if (QFileInfo(candidate).suffix() != QStringLiteral("vm"))
            continue;
        const QString location = standardizedFileURL(candidate);
        if (seenPaths.contains(location))
            continue;
        seenPaths.insert(location);
        if (const QString folder = QFileInfo(location).path(); !sweptFolders.contains(folder)) {
            sweptFolders.insert(folder);
            sweeper.sweepStagingFolders(folder);
        }

        try {
            VMBundle loaded = loader.loadBundle(location, true);
            sweeper.sweepBundle(location);
            protectInterruptedCopy(loaded, mirror, logging);
            const auto existing = acceptedIndex.constFind(loaded.id());
            if (existing == acceptedIndex.cend()) {
                acceptedIndex.insert(loaded.id(), accepted.size());
                accepted.append(std::move(loaded));
                continue;
            }
            VMBundle &kept = accepted[*existing];
            if (isOriginalOf(loaded, kept))
                std::swap(kept, loaded);
            log(QStringLiteral("Skipping duplicate VM identifier for %1 at %2").arg(loaded.metadata.name, loaded.bundleURL));
        } catch (const std::exception &error) {
            log(QStringLiteral("Skipping invalid bundle at %1: %2").arg(lastPathComponent(location), describe(error)));
        }
    }
    // Only now that every candidate is known: the mirror of a bundle listed anywhere stays, found or not.
    const QSet<QString> listed = seenPaths + places.trackedPaths;
    for (const QString &folder : std::as_const(sweptFolders)) {
        sweeper.sweepClaimedMirrors(folder);
        abandonedMirrors.append(AbandonedMirrors::find(folder, listed));
    }
    // Last, so that a copy put in place in a folder of the library is protected above before its marker goes.
    for (const QString &destination : places.destinations) {
        if (!sweptFolders.contains(standardizedFileURL(destination))) {
            sweptFolders.insert(standardizedFileURL(destination));
            sweeper.sweepDestination(destination);
        }
    }
    return accepted;
}

void VMStore::protectInterruptedCopy(const VMBundle &bundle, const ProtectionMirror &mirror, const LoggingService &logging)
{
    if (!StagingMarker::marksLeftover(bundle.bundleURL))
        return;
    try {
        mirror.refreshProtection(bundle);
        StagingMarker::remove(bundle.bundleURL);
        logging.log(QStringLiteral("Protected %1, put in place by work that was cut short").arg(bundle.metadata.name), QStringLiteral("Store"),
                    bundle.bundleURL);
    } catch (const std::exception &error) {
        logging.log(QStringLiteral("Could not protect %1, put in place by work that was cut short: %2").arg(bundle.metadata.name, describe(error)),
                    QStringLiteral("Store"), bundle.bundleURL);
    }
}

bool VMStore::isOriginalOf(const VMBundle &candidate, const VMBundle &other)
{
    // A copy made by hand or left by an interrupted clone carries the name of the folder it was copied from.
    const auto keepsItsName = [](const VMBundle &bundle) {
        try {
            const QByteArray stored = FileOperations::readFile(bundle.layout().metadataURL());
            return sharedJSONDecoder().decode<VMMetadata>(stored).bundleName == lastPathComponent(bundle.bundleURL);
        } catch (const std::exception &) {
            return false;
        }
    };
    const bool candidateKeeps = keepsItsName(candidate);
    if (candidateKeeps != keepsItsName(other))
        return candidateKeeps;
    const auto bornAt = [](const VMBundle &bundle) {
        try {
            return FileMeasurements::birthTime(bundle.bundleURL);
        } catch (const std::exception &) {
            return QDateTime();
        }
    };
    const QDateTime candidateBorn = bornAt(candidate);
    const QDateTime otherBorn = bornAt(other);
    return candidateBorn.isValid() && otherBorn.isValid() && candidateBorn < otherBorn;
}

QList<QString> VMStore::libraryRootBundleURLs() const
{
    FileOperations::createFolders(rootURL());
    QList<QString> urls;
    for (const QString &name : FileOperations::folderEntries(rootURL())) {
        if (!name.startsWith(QLatin1Char('.')))
            urls.append(rootURL() + QLatin1Char('/') + name);
    }
    std::sort(urls.begin(), urls.end());
    return urls;
}

VMBundle VMStore::registerExistingBundle(const QString &url, IdentityClash clash)
{
    const QString location = standardizedFileURL(url);
    if (QFileInfo(location).suffix() != QStringLiteral("vm"))
        throw VirtualMachineError(VirtualMachineError::Case::libraryRegistrationFailed, QStringLiteral("Choose a valid .vm bundle."));

    // Registering again a bundle the list holds must not report the run state of a VM that runs as left over.
    const BundleLoader loader(m_mirror, m_logging, runningIDs());
    VMBundle loaded;
    if (!isOutsideLibraryRoot(location)) {
        const SecurityScope scope(m_access, location);
        loaded = loader.loadBundle(location, true);
    } else {
        loaded = m_tracked.withTrackedSecurityScope(location, [&] { return loader.loadBundle(location, true); });
    }

    if (const auto existing = bundle(loaded.id()); existing && standardizedFileURL(existing->bundleURL) != location) {
        if (clash == IdentityClash::refuse)
            throw VirtualMachineError(VirtualMachineError::Case::libraryRegistrationFailed,
                                      QStringLiteral("A VM named \"%1\" is already registered from %2.").arg(existing->metadata.name, existing->bundleURL));
        // Two entries with one identifier would act on each other's VM: the copy takes its own, as a clone does.
        loaded.metadata.name = freeNameFor(loaded, location);
        loaded.metadata.id = QUuid::createUuid();
        m_tracked.trackBundle(location);
        updateBundle(loaded);
        log(QStringLiteral("Registered existing VM bundle at %1 as a new VM: its identifier belongs to the VM at %2").arg(location, existing->bundleURL),
            location);
        return bundle(loaded.id()).value_or(loaded);
    }

    m_tracked.trackBundle(location);
    loaded = withLiveRuntimeState(std::move(loaded));
    if (const QString name = freeNameFor(loaded, location); name != loaded.metadata.name) {
        loaded.metadata.name = name;
        updateBundle(loaded);
        loaded = bundle(loaded.id()).value_or(loaded);
    } else {
        publishSaved(loaded);
    }
    log(QStringLiteral("Registered existing VM bundle at ") + location, location);
    return loaded;
}

QString VMStore::freeNameFor(const VMBundle &bundle, const QString &location) const
{
    QSet<QString> names;
    for (const VMBundle &listed : m_bundles) {
        if (standardizedFileURL(listed.bundleURL) != location)
            names.insert(listed.metadata.name);
    }
    return FreeName::first(bundle.metadata.name, [&names](const QString &name) { return names.contains(name); });
}

QString VMStore::createBundleDirectory(const QString &destination, const QString &name) const
{
    FileOperations::createFolders(destination);
    const QString bundleURL = BundleFolderNaming::availableBundleURL(standardizedFileURL(destination), BundleFolderNaming::sanitizedBaseName(name));
    try {
        BundleSkeleton::ensureStandardSubfolders(bundleURL);
    } catch (...) {
        // The name was free: what stands there now was made here, and a bundle cut short is no bundle.
        try {
            removeItemIfPresent(bundleURL);
        } catch (const std::exception &) {
            // The failure that stopped the creation is the one to report.
        }
        throw;
    }
    return bundleURL;
}

void VMStore::deleteBundle(const QUuid &id)
{
    const auto found = std::find_if(m_bundles.cbegin(), m_bundles.cend(), [&](const VMBundle &entry) { return entry.id() == id; });
    if (found == m_bundles.cend())
        return;
    const qsizetype index = found - m_bundles.cbegin();
    const VMBundle bundle = *found;
    const QString &url = bundle.bundleURL;

    std::optional<QString> failure;
    try {
        const auto scope = bundleScope(url);
        removeBundleFromDisk(url);
    } catch (const std::exception &error) {
        failure = describe(error);
        // A bundle folder that is already gone gets no log folder back: the line then goes to the application log.
        log(QStringLiteral("Failed to fully delete %1 at %2: %3").arg(bundle.metadata.name, url, *failure), url);
    }
    try {
        m_tracked.untrackBundle(url);
    } catch (const std::exception &) {
        // The entry stays until the next untrack of this path; the VM leaves the library all the same.
    }

    QList<VMBundle> remaining = m_bundles;
    remaining.removeAt(index);
    m_changesDuringReload.recordDeleted(id);
    publish(std::move(remaining));
    log(QStringLiteral("Deleted VM bundle ") + bundle.metadata.name);

    if (failure && FileOperations::itemExists(url))
        throw VirtualMachineError(VirtualMachineError::Case::permissionDenied,
                                  QStringLiteral("Zovozu VM Lab removed \"%1\" from the library but could not fully remove it from disk. %2")
                                      .arg(bundle.metadata.name, *failure));
}

void VMStore::forgetVanishedBundle(const QUuid &id)
{
    const std::optional<VMBundle> found = bundle(id);
    if (!found || QFileInfo(found->bundleURL).isDir())
        return;
    QList<VMBundle> remaining = m_bundles;
    remaining.removeIf([&](const VMBundle &entry) { return entry.id() == id; });
    m_changesDuringReload.recordDeleted(id);
    publish(std::move(remaining));
    log(QStringLiteral("Took %1 out of the list: its bundle folder no longer exists at %2").arg(found->metadata.name, found->bundleURL));
}

void VMStore::removeBundleFromDisk(const QString &url) const
{
    const QString mirror = ProtectionMirror::mirrorURL(url);
    // Best effort: only the removal below decides whether the bundle is gone.
    for (const QString &folder : {url, mirror})
        BundleQuarantine::removeBelow(folder);
    try {
        removeItemIfPresent(mirror);
    } catch (const std::exception &) {
        // A stale mirror costs only space; the bundle folder is what counts.
    }
    removeItemIfPresent(url);
}

void VMStore::removeItemIfPresent(const QString &url)
{
    if (FileOperations::itemExists(url))
        FileOperations::removeItem(url);
}

VMBundle VMStore::bundleForBackup(const QUuid &id) const
{
    const std::optional<VMBundle> found = bundle(id);
    if (!found)
        throw VirtualMachineError::invalidBundle(QStringLiteral("The selected VM could not be found."));
    if (found->metadata.runtimeState != VMRuntimeState::stopped)
        throw VirtualMachineError::invalidOperation(QStringLiteral("Stop the virtual machine before creating a bundle backup."));
    return *found;
}

QString VMStore::reserveBackupURL(const QString &destination, const VMBundle &bundle) const
{
    const SecurityScope scope(m_access, destination);
    return backupDestinationURL(destination, bundle);
}

QString VMStore::completeBackup(const VMBundle &bundle, StagedBundleCopy &staged, const QString &destination, const QString &target) const
{
    BundleSkeleton::markBundleFolder(staged.url());
    BundleQuarantine::removeBelow(staged.url());
    // While the copy ran, the name may have been taken.
    const QString free = FileOperations::itemExists(target) ? reserveBackupURL(destination, bundle) : target;
    staged.commit(free);
    staged.finish();
    return free;
}

QString VMStore::backupBundle(const QUuid &id, const QString &destination)
{
    const VMBundle bundle = bundleForBackup(id);
    {
        const auto scope = bundleScope(bundle.bundleURL);
        refuseUnreadableGuestContent(GuestWrittenContent::unreadableItem(bundle.bundleURL));
    }
    const QString folder = standardizedFileURL(destination);
    const QString target = reserveBackupURL(folder, bundle);
    // Before anything is staged there: a backup cut short leaves its staging folder to be found at the next load.
    m_destinations.remember(folder);

    QString copy;
    try {
        StagedBundleCopy staged(folder, lastPathComponent(target));
        {
            const auto scope = bundleScope(bundle.bundleURL);
            copyBundleForBackup(bundle.bundleURL, staged.url());
        }
        copy = completeBackup(bundle, staged, folder, target);
    } catch (const std::exception &error) {
        throw VirtualMachineError(VirtualMachineError::Case::backupFailed, describe(error));
    }
    log(QStringLiteral("Backed up %1 to %2").arg(bundle.metadata.name, copy), bundle.bundleURL);
    return copy;
}

QCoro::Task<QString> VMStore::backupBundleAsync(QUuid id, QString destination)
{
    const VMBundle bundle = bundleForBackup(id);
    const QPointer<VMStore> self(this);
    {
        const auto scope = bundleScope(bundle.bundleURL);
        const std::optional<QString> unreadable = co_await BackgroundWork::run(&GuestWrittenContent::unreadableItem, bundle.bundleURL);
        if (!self)
            throw VirtualMachineError(VirtualMachineError::Case::userCancelled);
        refuseUnreadableGuestContent(unreadable);
    }
    const QString folder = standardizedFileURL(destination);
    const QString target = reserveBackupURL(folder, bundle);
    // Before anything is staged there: a backup cut short leaves its staging folder to be found at the next load.
    m_destinations.remember(folder);

    QString copy;
    try {
        StagedBundleCopy staged(folder, lastPathComponent(target));
        {
            const auto scope = bundleScope(bundle.bundleURL);
            co_await BackgroundWork::run(&VMStore::copyBundleForBackup, bundle.bundleURL, staged.url());
        }
        if (!self)
            throw VirtualMachineError(VirtualMachineError::Case::userCancelled); // the application is closing; the copy goes with the store
        copy = completeBackup(bundle, staged, folder, target);
    } catch (const VirtualMachineError &error) {
        if (error.errorCase() == VirtualMachineError::Case::userCancelled)
            throw;
        throw VirtualMachineError(VirtualMachineError::Case::backupFailed, describe(error));
    } catch (const std::exception &error) {
        throw VirtualMachineError(VirtualMachineError::Case::backupFailed, describe(error));
    }
    log(QStringLiteral("Backed up %1 to %2").arg(bundle.metadata.name, copy), bundle.bundleURL);
    co_return copy;
}

void VMStore::refuseUnreadableGuestContent(const std::optional<QString> &unreadable)
{
    // Refused before anything is written: a copy that stopped at the guest's item would be thrown away anyway.
    if (unreadable)
        throw VirtualMachineError(VirtualMachineError::Case::backupFailed, *unreadable);
}

QString VMStore::backupDestinationURL(const QString &destination, const VMBundle &bundle)
{
    FileOperations::createFolders(destination);
    return BundleFolderNaming::availableBundleURL(destination, BundleFolderNaming::sanitizedBaseName(bundle.metadata.name));
}

void VMStore::copyBundleForBackup(const QString &source, const QString &target)
{
    BundleQuarantine::removeBelow(source);
    StagedBundleCopy::copyInto(source, target);
}

std::unique_ptr<SecurityScope> VMStore::bundleScope(const QString &url) const
{
    return std::make_unique<SecurityScope>(m_access, isOutsideLibraryRoot(url) ? m_tracked.scopedLocation(url) : url);
}

VMBundle VMStore::withLiveRuntimeState(VMBundle bundle) const
{
    if (m_liveRuntimeStates) {
        if (const std::optional<VMRuntimeState> live = m_liveRuntimeStates(bundle.id()))
            bundle.metadata.runtimeState = *live;
    }
    return bundle;
}

void VMStore::publish(QList<VMBundle> bundles)
{
    m_bundles = std::move(bundles);
    for (const VMBundle &bundle : std::as_const(m_bundles))
        m_listedIDs.insert(bundle.id());
    Q_EMIT bundlesChanged(m_bundles);
}

void VMStore::publishSaved(const VMBundle &bundle)
{
    QList<VMBundle> updated = m_bundles;
    const auto existing = std::find_if(updated.begin(), updated.end(), [&](const VMBundle &entry) { return entry.id() == bundle.id(); });
    if (existing != updated.end())
        *existing = bundle;
    else
        updated.prepend(bundle);
    m_changesDuringReload.recordSaved(bundle);
    publish(std::move(updated));
}

void VMStore::log(const QString &message, const QString &bundleURL) const
{
    m_logging.log(message, QStringLiteral("Store"), bundleURL);
}
