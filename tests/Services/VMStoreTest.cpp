// SPDX-License-Identifier: MIT
#include "BusyThreadPool.h"
#include "FileOperations.h"
#include "FileSystemTraps.h"
#include "PlatformError.h"
#include "ProtectionMirror.h"
#include "RawNames.h"
#include "SparseCopy.h"
#include "StoreTestFixture.h"
#include "TaskOutcome.h"
#include "VirtualMachineError.h"
#include "VirtualMachineErrorExpectation.h"
#include "WithoutAccessOverride.h"

#include <QFileInfo>
#include <QSignalSpy>

namespace {

class VMStoreTest : public StoreTest
{
protected:
    /// A copy of a saved bundle's folder, as a user's backup of it would be.
    QString copyOf(const VMBundle &bundle, const QString &destination)
    {
        QDir().mkpath(QFileInfo(destination).path());
        SparseCopy::copyTree(bundle.bundleURL, destination);
        return destination;
    }

    QStringList names()
    {
        QStringList list;
        for (const VMBundle &bundle : store().bundles())
            list << bundle.metadata.name;
        return list;
    }

    QString registrationFailure(const QString &url)
    {
        const VirtualMachineError error = thrownVirtualMachineError([&] { store().registerExistingBundle(url); });
        EXPECT_EQ(error.errorCase(), VirtualMachineError::Case::libraryRegistrationFailed);
        return error.detail();
    }
};

} // namespace

TEST_F(VMStoreTest, LookupAndRevealFindBundlesByIdentifier)
{
    const VMBundle saved = savedBundle(QStringLiteral("Finder"));
    EXPECT_EQ(store().bundle(saved.id())->bundleURL, saved.bundleURL);
    EXPECT_FALSE(store().bundle(QUuid::createUuid()).has_value());

    store().showInFileManager(QUuid::createUuid(), {});
    EXPECT_TRUE(m_viewer.revealed.isEmpty());
    store().showInFileManager(saved.id(), {});
    EXPECT_EQ(m_viewer.revealed, QStringList{saved.bundleURL});
}

TEST_F(VMStoreTest, OnlyTheRootAndItsOwnEntriesAreInsideIt)
{
    // Reloading lists the root's own entries; anything deeper is found again only through the registry.
    const struct {
        QString path;
        bool outside;
    } table[] = {
        {root(), false},
        {root() + QStringLiteral("/"), false},
        {root() + QStringLiteral("/Dev.vm"), false},
        {root() + QStringLiteral("/nested/../Dev.vm"), false},
        {root() + QStringLiteral("/Team/Dev.vm"), true},
        {root() + QStringLiteral("/Team/Work/Dev.vm"), true},
        {root() + QStringLiteral("Extra/Dev.vm"), true},
        {m_home.path() + QStringLiteral("/Dev.vm"), true},
    };
    for (const auto &row : table)
        EXPECT_EQ(store().isOutsideLibraryRoot(row.path), row.outside) << row.path.toStdString();
}

TEST_F(VMStoreTest, SavingDerivesTheStoredFieldsAndPublishesNewBundlesFirst)
{
    QSignalSpy published(&store(), &VMStore::bundlesChanged);
    const VMBundle first = savedBundle(QStringLiteral("First"));

    VMBundle second;
    second.bundleURL = root() + QStringLiteral("/Second.vm");
    second.metadata = sampleMetadata(QStringLiteral("Second"));
    second.metadata.bundleName = QStringLiteral("Stale.vm");
    second.metadata.sharedFolderCount = 9;
    second.sharedFolders = {VMSharedFolder{QUuid::createUuid(), QStringLiteral("Projects"), QUrl::fromLocalFile(m_home.path()), false, std::nullopt}};
    store().updateBundle(second);

    EXPECT_EQ(published.count(), 2);
    EXPECT_EQ(names(), (QStringList{QStringLiteral("Second"), QStringLiteral("First")}));
    const VMMetadata stored = sharedJSONDecoder().decode<VMMetadata>(read(second.layout().metadataURL()).toUtf8());
    EXPECT_EQ(stored.bundleName, QStringLiteral("Second.vm"));
    EXPECT_EQ(stored.sharedFolderCount, 1);
    EXPECT_EQ(stored, store().bundles().first().metadata);

    // Access to the bundle is opened around each write and always closed.
    EXPECT_EQ(m_access.started, m_access.stopped);
    EXPECT_TRUE(m_access.started.contains(second.bundleURL));

    // An update replaces the entry in place.
    VMBundle renamed = *store().bundle(first.id());
    renamed.metadata.name = QStringLiteral("First, renamed");
    store().updateBundle(renamed);
    EXPECT_EQ(names(), (QStringList{QStringLiteral("Second"), QStringLiteral("First, renamed")}));
}

TEST_F(VMStoreTest, MetadataOnlySavesTouchNothingElse)
{
    VMBundle bundle;
    bundle.bundleURL = m_home.path() + QStringLiteral("/Light.vm");
    bundle.metadata = sampleMetadata(QStringLiteral("Light"));
    QDir().mkpath(bundle.bundleURL);
    store().updateMetadata(bundle);

    EXPECT_TRUE(QFileInfo(bundle.layout().metadataURL()).isFile());
    EXPECT_EQ(read(bundle.layout().sharedFoldersURL()), QStringLiteral("[]"));
    EXPECT_FALSE(QFileInfo::exists(bundle.layout().logsDirectoryURL()));
    EXPECT_FALSE(QFileInfo::exists(ProtectionMirror::mirrorRootURL(bundle.bundleURL)));
    EXPECT_FALSE(QFileInfo::exists(store().registryURL()));
    EXPECT_EQ(names(), QStringList{QStringLiteral("Light")});
}

TEST_F(VMStoreTest, AVanishedBundleIsNeverRecreated)
{
    const VMBundle saved = savedBundle(QStringLiteral("Unplugged"));
    QDir(saved.bundleURL).removeRecursively();
    VMBundle changed = saved;
    changed.metadata.name = QStringLiteral("Changed");

    for (const auto &save : {std::function<void()>([&] { store().updateBundle(changed); }), std::function<void()>([&] { store().updateMetadata(changed); })}) {
        EXPECT_TRUE(throwsVirtualMachineError(save, VirtualMachineError::Case::invalidBundle, saved.bundleURL));
    }
    EXPECT_FALSE(QFileInfo::exists(saved.bundleURL));
    EXPECT_EQ(names(), QStringList{QStringLiteral("Unplugged")});
}

TEST_F(VMStoreTest, AFailedWriteLeavesTheListUnchanged)
{
    const VMBundle saved = savedBundle(QStringLiteral("Blocked"));
    QFile::remove(saved.layout().sharedFoldersURL());
    QDir().mkpath(saved.layout().sharedFoldersURL()); // a folder where the file belongs
    VMBundle changed = saved;
    changed.metadata.name = QStringLiteral("Never stored");

    EXPECT_THROW(store().updateBundle(changed), PlatformError);
    EXPECT_EQ(names(), QStringList{QStringLiteral("Blocked")});
    EXPECT_EQ(m_access.started, m_access.stopped);
}

TEST_F(VMStoreTest, ReloadSortsNewestFirstAndSkipsWhatItCannotUse)
{
    VMBundle older = savedBundle(QStringLiteral("Older"));
    VMBundle newer = savedBundle(QStringLiteral("Newer"));
    newer.metadata.createdAt = older.metadata.createdAt.addDays(1);
    store().updateBundle(newer);

    QDir().mkpath(root() + QStringLiteral("/Empty.vm"));
    copyOf(older, root() + QStringLiteral("/Shouting.VM"));
    copyOf(older, root() + QStringLiteral("/Zz older copy.vm")); // listed after "Older.vm": the original wins
    copyOf(older, root() + QStringLiteral("/.Hidden.vm"));

    reload();
    EXPECT_EQ(names(), (QStringList{QStringLiteral("Newer"), QStringLiteral("Older")}));
    EXPECT_EQ(store().bundle(older.id())->bundleURL, older.bundleURL);

    const QString log = appLog();
    EXPECT_TRUE(log.contains(QStringLiteral("[Store] Skipping invalid bundle at Empty.vm: A required VM file is missing: Metadata.json")));
    EXPECT_TRUE(log.contains(QStringLiteral("[Store] Skipping duplicate VM identifier for Older at ") + root() + QStringLiteral("/Zz older copy.vm")));
    EXPECT_FALSE(log.contains(QStringLiteral("Shouting")));
    EXPECT_FALSE(log.contains(QStringLiteral("Hidden")));
    EXPECT_TRUE(log.trimmed().endsWith(QStringLiteral("[Store] Loaded 2 VM bundle(s) from ") + root()));
}

TEST_F(VMStoreTest, ABundleReachedTwiceLoadsOnceAndTrackedBundlesLoad)
{
    const VMBundle inside = savedBundle(QStringLiteral("Inside"));
    const VMBundle away = savedBundle(QStringLiteral("Away"), outside(QStringLiteral("disk")));
    // A stray registry entry for a bundle in the root reaches it a second time.
    auto references = store().trackedBundles().readTrackedRegistry();
    references.append(TrackedVMBundleReference{QUuid::createUuid(), m_bookmarks.makeBookmark(inside.bundleURL), inside.bundleURL, QDateTime::currentDateTimeUtc()});
    store().trackedBundles().writeTrackedRegistry(references);

    reload();
    EXPECT_EQ(store().bundles().size(), 2);
    EXPECT_EQ(store().bundle(away.id())->bundleURL, away.bundleURL);
    EXPECT_FALSE(appLog().contains(QStringLiteral("Skipping")));
}

TEST_F(VMStoreTest, AnUnreadableRootGivesAnEmptyLibrary)
{
    savedBundle(QStringLiteral("Hidden by failure"));
    write(store().registryURL(), "not json");
    QSignalSpy published(&store(), &VMStore::bundlesChanged);

    reload();
    EXPECT_TRUE(store().bundles().isEmpty());
    EXPECT_EQ(published.count(), 1);
    EXPECT_FALSE(appLog().contains(QStringLiteral("Loaded")));
}

TEST_F(VMStoreTest, RegistrationChecksTheExtensionAndTheIdentity)
{
    EXPECT_EQ(registrationFailure(outside(QStringLiteral("Folder"))), QStringLiteral("Choose a valid .vm bundle."));

    const VMBundle original = savedBundle(QStringLiteral("Original"));
    const QString backup = copyOf(original, outside(QStringLiteral("Backup.vm")));
    EXPECT_EQ(registrationFailure(backup),
              QStringLiteral("A VM named \"Original\" is already registered from %1.").arg(original.bundleURL));
    EXPECT_EQ(store().bundles().size(), 1);

    // The same bundle from its own place is accepted again.
    EXPECT_EQ(store().registerExistingBundle(original.bundleURL).id(), original.id());
    EXPECT_EQ(store().bundles().size(), 1);
}

TEST_F(VMStoreTest, RegisteringABundleOutsideTheRootTracksIt)
{
    const VMBundle original = savedBundle(QStringLiteral("Traveller"), outside(QStringLiteral("a")));
    reload();
    const QString moved = outside(QStringLiteral("b/Traveller.vm"));
    QDir().mkpath(outside(QStringLiteral("b")));
    ASSERT_TRUE(QDir().rename(original.bundleURL, moved));
    store().untrackBundle(original.bundleURL);

    StoreTest::reload();
    EXPECT_TRUE(store().bundles().isEmpty());

    const VMBundle registered = store().registerExistingBundle(moved);
    EXPECT_EQ(registered.bundleURL, moved);
    EXPECT_EQ(store().trackedBundles().readTrackedRegistry().first().lastKnownPath, moved);
    EXPECT_TRUE(bundleLog(moved).contains(QStringLiteral("[Store] Registered existing VM bundle at ") + moved));
    reload();
    EXPECT_EQ(store().bundles().size(), 1);
}

TEST_F(VMStoreTest, ABundleInAFolderInsideTheRootIsListedAgainAfterAReload)
{
    const VMBundle created = savedBundle(QStringLiteral("Nested"), root() + QStringLiteral("/Team"));

    // A bundle the library does not know yet, moved into a folder of the library and imported from there.
    const VMBundle staged = savedBundle(QStringLiteral("Imported"), outside(QStringLiteral("staging")));
    const QString imported = root() + QStringLiteral("/Work/Imported.vm");
    QDir().mkpath(root() + QStringLiteral("/Work"));
    ASSERT_TRUE(QDir().rename(staged.bundleURL, imported));
    store().untrackBundle(staged.bundleURL);
    reload();
    ASSERT_EQ(names(), QStringList{QStringLiteral("Nested")});
    store().registerExistingBundle(imported);

    reload();
    EXPECT_EQ(names(), (QStringList{QStringLiteral("Nested"), QStringLiteral("Imported")}));
    EXPECT_EQ(store().bundle(created.id())->bundleURL, created.bundleURL);
    EXPECT_EQ(store().bundle(staged.id())->bundleURL, imported);

    // Deleting it forgets it.
    store().deleteBundle(created.id());
    store().deleteBundle(staged.id());
    EXPECT_TRUE(store().trackedBundles().readTrackedRegistry().isEmpty());
    EXPECT_EQ(m_access.started, m_access.stopped);
}

TEST_F(VMStoreTest, ChangesMadeWhileAReloadReadsTheDiskOutliveIt)
{
    const VMBundle renamed = savedBundle(QStringLiteral("Before"));
    const VMBundle deleted = savedBundle(QStringLiteral("Deleted"));
    savedBundle(QStringLiteral("Kept"));
    const VMBundle imported = savedBundle(QStringLiteral("Imported"), outside(QStringLiteral("import")));
    store().untrackBundle(imported.bundleURL);
    reload();
    ASSERT_EQ(store().bundles().size(), 3);

    QCoro::Task<> reloading;
    {
        BusyThreadPool busy;
        reloading = store().reload();
        busy.release();
    } // the worker has read the library; what it read is published only once this thread runs its events

    VMBundle changed = *store().bundle(renamed.id());
    changed.metadata.name = QStringLiteral("After");
    store().updateBundle(changed);
    store().deleteBundle(deleted.id());
    store().registerExistingBundle(imported.bundleURL);
    QCoro::waitFor(std::move(reloading));

    const QStringList expected{QStringLiteral("After"), QStringLiteral("Imported"), QStringLiteral("Kept")};
    QStringList listed = names();
    listed.sort();
    EXPECT_EQ(listed, expected);
    EXPECT_FALSE(QFileInfo::exists(deleted.bundleURL));

    // The disk says the same.
    reload();
    listed = names();
    listed.sort();
    EXPECT_EQ(listed, expected);
}

TEST_F(VMStoreTest, NewBundleFoldersGetSafeFreeNames)
{
    const struct {
        const char *typed;
        const char *folder;
    } table[] = {
        {"  Dev Box  ", "Dev Box.vm"},
        {"", "Virtual Mac.vm"},
        {"   ", "Virtual Mac.vm"},
        {"a/b:c", "a-b-c.vm"},
        {"<tag>", "-tag-.vm"},
        {"two  blanks", "two blanks.vm"},
        {"four    blanks", "four  blanks.vm"},
        {".hidden", "-hidden.vm"},
        {"..", "--.vm"},
        {"Ünïcödé 🦊", "Ünïcödé 🦊.vm"},
    };
    const QString destination = outside(QStringLiteral("new"));
    for (const auto &row : table) {
        const QString created = store().createBundleDirectory(destination, QString::fromUtf8(row.typed));
        EXPECT_EQ(created, destination + QLatin1Char('/') + QString::fromUtf8(row.folder)) << row.typed;
        for (const char *folder : {"SavedState", "Bootstrap", "RestoreImages", "Logs"})
            EXPECT_TRUE(QFileInfo(created + QLatin1Char('/') + QLatin1String(folder)).isDir());
        QDir(created).removeRecursively();
    }

    EXPECT_EQ(store().createBundleDirectory(destination, QStringLiteral("Twin")), destination + QStringLiteral("/Twin.vm"));
    EXPECT_EQ(store().createBundleDirectory(destination, QStringLiteral("Twin")), destination + QStringLiteral("/Twin 2.vm"));
    EXPECT_EQ(store().createBundleDirectory(destination, QStringLiteral("Twin")), destination + QStringLiteral("/Twin 3.vm"));
}

namespace {

class VMStoreDeletionTest : public VMStoreTest
{
protected:
    static QStringList entries(const QString &folder)
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    VirtualMachineError deletionFailure(const QUuid &id)
    {
        return thrownVirtualMachineError([&] { store().deleteBundle(id); });
    }
};

} // namespace

TEST_F(VMStoreDeletionTest, ABundleInTheRootGoesWithItsMirrorWhileTheHiddenFolderStays)
{
    const VMBundle gone = savedBundle(QStringLiteral("Gone"));
    const VMBundle stays = savedBundle(QStringLiteral("Stays"));
    const QString appLogBefore = appLog();
    QSignalSpy published(&store(), &VMStore::bundlesChanged);

    store().deleteBundle(QUuid::createUuid());
    EXPECT_EQ(published.count(), 0);
    EXPECT_EQ(appLog(), appLogBefore);

    store().deleteBundle(gone.id());
    EXPECT_FALSE(QFileInfo::exists(gone.bundleURL));
    EXPECT_FALSE(QFileInfo::exists(ProtectionMirror::mirrorURL(gone.bundleURL)));
    EXPECT_EQ(entries(ProtectionMirror::mirrorRootURL(gone.bundleURL)), QStringList{QStringLiteral("Stays.vm")});
    EXPECT_EQ(names(), QStringList{QStringLiteral("Stays")});
    EXPECT_EQ(published.count(), 1);
    EXPECT_FALSE(QFileInfo::exists(store().registryURL()));
    EXPECT_TRUE(appLog().contains(QStringLiteral("[Store] Deleted VM bundle Gone")));
    EXPECT_EQ(m_access.started, m_access.stopped);

    store().deleteBundle(stays.id());
    EXPECT_TRUE(QFileInfo(ProtectionMirror::mirrorRootURL(stays.bundleURL)).isDir());
    EXPECT_TRUE(entries(ProtectionMirror::mirrorRootURL(stays.bundleURL)).isEmpty());
}

TEST_F(VMStoreDeletionTest, ATrackedBundleLeavesTheRegistryTooEvenWhenItsFolderIsGone)
{
    const VMBundle away = savedBundle(QStringLiteral("Away"), outside(QStringLiteral("a")));
    const VMBundle lost = savedBundle(QStringLiteral("Lost"), outside(QStringLiteral("b")));
    ASSERT_EQ(store().trackedBundles().readTrackedRegistry().size(), 2);

    store().deleteBundle(away.id());
    EXPECT_FALSE(QFileInfo::exists(away.bundleURL));
    ASSERT_EQ(store().trackedBundles().readTrackedRegistry().size(), 1);
    EXPECT_EQ(store().trackedBundles().readTrackedRegistry().first().lastKnownPath, lost.bundleURL);

    // Its disk was wiped behind our back: the bookmark no longer resolves, and nothing may bring the folder back.
    QDir(lost.bundleURL).removeRecursively();
    store().deleteBundle(lost.id());
    EXPECT_TRUE(store().bundles().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(lost.bundleURL));
    EXPECT_TRUE(store().trackedBundles().readTrackedRegistry().isEmpty());
    const QString log = appLog();
    EXPECT_TRUE(log.contains(QStringLiteral("[Store] Failed to fully delete Lost at ") + lost.bundleURL + QStringLiteral(": "))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("[Store] Deleted VM bundle Lost")));
    EXPECT_EQ(m_access.started, m_access.stopped);
}

TEST_F(VMStoreDeletionTest, OnlyABundleFolderLeftBehindFailsTheDeletion)
{
    const VMBundle stuck = savedBundle(QStringLiteral("Stuck"));
    const FileSystemTraps::ImmutableFile pinned(stuck.layout().metadataURL());
    if (!pinned.isSet())
        GTEST_SKIP() << "files cannot be made immutable here";

    const VirtualMachineError error = deletionFailure(stuck.id());
    EXPECT_EQ(error.errorCase(), VirtualMachineError::Case::permissionDenied);
    EXPECT_TRUE(error.detail().startsWith(QStringLiteral(
        "Zovozu VM Lab removed \"Stuck\" from the library but could not fully remove it from disk. ")))
        << error.what();
    EXPECT_TRUE(store().bundles().isEmpty());
    EXPECT_TRUE(bundleLog(stuck.bundleURL).contains(QStringLiteral("[Store] Failed to fully delete Stuck at ") + stuck.bundleURL));
    EXPECT_TRUE(appLog().contains(QStringLiteral("[Store] Deleted VM bundle Stuck")));
    EXPECT_FALSE(QFileInfo::exists(ProtectionMirror::mirrorURL(stuck.bundleURL)));
}

TEST_F(VMStoreDeletionTest, AMirrorThatCannotBeRemovedDoesNotFailTheDeletion)
{
    const VMBundle kept = savedBundle(QStringLiteral("Mirrored"));
    const FileSystemTraps::ImmutableFile pinned(ProtectionMirror::mirrorURL(kept.bundleURL) + QStringLiteral("/Metadata.json"));
    if (!pinned.isSet())
        GTEST_SKIP() << "files cannot be made immutable here";

    store().deleteBundle(kept.id());
    EXPECT_FALSE(QFileInfo::exists(kept.bundleURL));
    EXPECT_TRUE(QFileInfo::exists(ProtectionMirror::mirrorURL(kept.bundleURL)));
    EXPECT_TRUE(store().bundles().isEmpty());
}

namespace {

class VMStoreBackupTest : public VMStoreTest
{
protected:
    QString destination() const { return outside(QStringLiteral("Backups")); }

    /// A stopped VM with saved state, a snapshot folder and a log.
    VMBundle stoppedWithState(const QString &name)
    {
        VMBundle bundle = savedBundle(name);
        write(bundle.layout().savedStateFileURL(), "machine state");
        write(bundle.bundleURL + QStringLiteral("/Snapshots/Timeline.json"), R"({"snapshots":[]})");
        m_logging.log(QStringLiteral("history"), QStringLiteral("Test"), bundle.bundleURL);
        bundle.metadata.savedState = VMSavedState{QStringLiteral("SavedState/MachineState.bin"), bundle.metadata.createdAt, 13};
        store().updateBundle(bundle);
        return *store().bundle(bundle.id());
    }

    VirtualMachineError backupFailure(const QUuid &id, const QString &folder)
    {
        return thrownVirtualMachineError([&] { store().backupBundle(id, folder); });
    }

    QStringList hiddenEntries(const QString &folder) const { return QDir(folder).entryList({QStringLiteral(".*")}, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot); }
};

} // namespace

TEST_F(VMStoreBackupTest, ACopyGetsAFreeSafeNameAndEverythingTheBundleHolds)
{
    const VMBundle named = stoppedWithState(QStringLiteral("Name"));
    QDir().mkpath(destination() + QStringLiteral("/Name.vm"));
    const QList<VMBundle> library = store().bundles();

    const QString copy = store().backupBundle(named.id(), destination() + QStringLiteral("/./"));
    EXPECT_EQ(copy, destination() + QStringLiteral("/Name 2.vm"));
    EXPECT_EQ(read(copy + QStringLiteral("/Metadata.json")), read(named.layout().metadataURL()));
    EXPECT_EQ(read(copy + QStringLiteral("/SavedState/MachineState.bin")), QStringLiteral("machine state"));
    EXPECT_TRUE(QFileInfo::exists(copy + QStringLiteral("/Snapshots/Timeline.json")));
    EXPECT_TRUE(bundleLog(copy).contains(QStringLiteral("history")));
    EXPECT_EQ(store().bundles(), library);
    EXPECT_TRUE(hiddenEntries(destination()).isEmpty());

    const QString line = QStringLiteral("[Store] Backed up Name to ") + copy;
    EXPECT_TRUE(bundleLog(named.bundleURL).contains(line));
    EXPECT_FALSE(bundleLog(copy).contains(line));
    EXPECT_EQ(m_access.started, m_access.stopped);
    EXPECT_TRUE(m_access.started.contains(destination()));

    const VMBundle slashed = savedBundle(QStringLiteral("a/b"));
    EXPECT_EQ(store().backupBundle(slashed.id(), destination()), destination() + QStringLiteral("/a-b.vm"));
}

TEST_F(VMStoreBackupTest, OnlyAStoppedVMOfTheLibraryIsBackedUp)
{
    EXPECT_EQ(backupFailure(QUuid::createUuid(), destination()).detail(), QStringLiteral("The selected VM could not be found."));
    EXPECT_EQ(backupFailure(QUuid::createUuid(), destination()).errorCase(), VirtualMachineError::Case::invalidBundle);

    VMBundle busy = savedBundle(QStringLiteral("Busy"));
    for (const VMRuntimeState state : {VMRuntimeState::running, VMRuntimeState::paused, VMRuntimeState::error}) {
        busy.metadata.runtimeState = state;
        store().updateMetadata(busy);
        const VirtualMachineError error = backupFailure(busy.id(), destination());
        EXPECT_EQ(error.errorCase(), VirtualMachineError::Case::invalidOperation);
        EXPECT_EQ(error.detail(), QStringLiteral("Stop the virtual machine before creating a bundle backup."));
    }
    EXPECT_FALSE(QFileInfo::exists(destination()));

    busy.metadata.runtimeState = VMRuntimeState::stopped;
    store().updateMetadata(busy);
    write(outside(QStringLiteral("File")), "in the way");
    EXPECT_THROW(store().backupBundle(busy.id(), outside(QStringLiteral("File/Backups"))), PlatformError);
}

TEST_F(VMStoreBackupTest, AFailedBackupRemovesItsPartialCopy)
{
    // The copy fails half-way: below the longer destination path, the copied paths outgrow the system's limit.
    const VMBundle deep = savedBundle(QStringLiteral("Deep"));
    FileSystemTraps::deepFolder(deep.bundleURL + QStringLiteral("/Deep"), 4085);
    const QString longDestination = destination() + QLatin1Char('/') + QString(150, QLatin1Char('b'));

    const VirtualMachineError error = backupFailure(deep.id(), longDestination);
    EXPECT_EQ(error.errorCase(), VirtualMachineError::Case::backupFailed);
    EXPECT_TRUE(error.errorDescription().startsWith(QStringLiteral("The VM backup could not be completed: "))) << error.what();
    EXPECT_TRUE(QDir(longDestination).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    EXPECT_FALSE(bundleLog(deep.bundleURL).contains(QStringLiteral("Backed up")));
    EXPECT_EQ(m_access.started, m_access.stopped);

    // The same through the task.
    EXPECT_TRUE(throwsVirtualMachineError(waitForOutcome(store().backupBundleAsync(deep.id(), longDestination)),
                                          VirtualMachineError::Case::backupFailed));
    EXPECT_TRUE(QDir(longDestination).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

TEST_F(VMStoreBackupTest, AnItemTheGuestWroteThatCannotBeReadFailsTheBackupBeforeAnythingIsWritten)
{
    const VMBundle guest = stoppedWithState(QStringLiteral("Guest"));
    write(guest.layout().automationDirectoryURL() + QStringLiteral("/Responses/answer.json"), "{}");
    const FileSystemTraps::UnreadableFolder locked(guest.layout().automationDirectoryURL() + QStringLiteral("/Locked"));
    const WithoutAccessOverride noOverride;
    if (!noOverride.isActive())
        GTEST_SKIP() << "root could not give up its access override";
    const QString expected = QStringLiteral("\"Automation/Locked\" in the VM's shared automation folder cannot be read (Permission denied). The "
                                            "guest wrote it there; make it readable or remove it, then try again.");

    const VirtualMachineError error = backupFailure(guest.id(), destination());
    EXPECT_EQ(error.errorCase(), VirtualMachineError::Case::backupFailed);
    EXPECT_EQ(error.detail(), expected);
    const VirtualMachineError fromTask = thrownVirtualMachineError(waitForOutcome(store().backupBundleAsync(guest.id(), destination())));
    EXPECT_EQ(fromTask.errorCase(), VirtualMachineError::Case::backupFailed);
    EXPECT_EQ(fromTask.detail(), expected);

    EXPECT_FALSE(QFileInfo::exists(destination()));
    EXPECT_FALSE(bundleLog(guest.bundleURL).contains(QStringLiteral("Backed up")));
    EXPECT_EQ(m_access.started, m_access.stopped);
}

TEST_F(VMStoreBackupTest, NamesTheGuestGaveInAnyEncodingAreBackedUpByteForByte)
{
    const VMBundle guest = stoppedWithState(QStringLiteral("Guest"));
    RawNames::plant(guest.layout().automationDirectoryURL());
    const QString copy = store().backupBundle(guest.id(), destination());
    EXPECT_EQ(RawNames::tree(copy + QStringLiteral("/Automation")), RawNames::plantedTree());
    const QString second = waitForOutcome(store().backupBundleAsync(guest.id(), destination())).get();
    EXPECT_EQ(RawNames::tree(second + QStringLiteral("/Automation")), RawNames::plantedTree());
    EXPECT_EQ(RawNames::tree(guest.layout().automationDirectoryURL()), RawNames::plantedTree());
}

TEST_F(VMStoreBackupTest, TheTaskBacksUpLikeTheCall)
{
    const VMBundle named = stoppedWithState(QStringLiteral("Async"));
    const QString copy = waitForOutcome(store().backupBundleAsync(named.id(), destination())).get();
    EXPECT_EQ(copy, destination() + QStringLiteral("/Async.vm"));
    EXPECT_EQ(read(copy + QStringLiteral("/SavedState/MachineState.bin")), QStringLiteral("machine state"));
    EXPECT_TRUE(bundleLog(named.bundleURL).contains(QStringLiteral("[Store] Backed up Async to ") + copy));
    EXPECT_EQ(m_access.started, m_access.stopped);
}
