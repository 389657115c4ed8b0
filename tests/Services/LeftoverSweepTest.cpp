// SPDX-License-Identifier: MIT
#include "AbandonedMirrors.h"
#include "FileOperations.h"
#include "InterruptedWrite.h"
#include "JSONCoding.h"
#include "MachineIdentityService.h"
#include "ProcessIdentity.h"
#include "ProtectionMirror.h"
#include "StagingMarker.h"
#include "StoreTestFixture.h"
#include "TestFiles.h"
#include "VMCloneService.h"
#include "VMExportService.h"

#include <QDir>
#include <QFileInfo>
#include <QSysInfo>

#include <functional>
#include <limits>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString markerName = StagingMarker::fileName.toString();

/// What crashes leave behind, and what a library load must remove or keep, wherever the application writes.
class LeftoverSweepTest : public StoreTest
{
protected:
    LeftoverSweepTest() { QDir().mkpath(backups()); }

    QString backups() const { return outside(QStringLiteral("Backups")); }

    static void backdate(const QString &path)
    {
        const timespec anHourAgo{::time(nullptr) - 3600, 0};
        const timespec times[2] = {anHourAgo, anHourAgo};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW), 0) << path.toStdString();
    }

    /// Makes every hidden item of `folder` look as if it had been left long before this store started.
    static void backdateHiddenEntries(const QString &folder)
    {
        for (const QString &name : hiddenEntries(folder))
            backdate(folder + QLatin1Char('/') + name);
    }

    static QStringList hiddenEntries(const QString &folder)
    {
        QStringList hidden;
        if (!FileOperations::isFolder(folder))
            return hidden;
        for (const QString &name : FileOperations::folderEntries(folder)) {
            if (name.startsWith(QLatin1Char('.')) && name != QStringLiteral(".DuvuzodOvevavProtection"))
                hidden << name;
        }
        hidden.sort();
        return hidden;
    }

    /// The marker a staging folder gets, written by a process that has ended since, as after a crash.
    static void markByEndedProcess(const QString &folder)
    {
        QDir().mkpath(folder);
        ASSERT_EQ(InterruptedWrite::runUntil(std::numeric_limits<int>::max(), [&] { StagingMarker::write(folder); }),
                  InterruptedWrite::Outcome::completed);
    }

    /// A marker as another machine that shares this host name writes it: its process cannot be asked.
    static void markByAnotherMachine(const QString &folder)
    {
        JSONObjectWriter writer;
        writer.set("hostName", QSysInfo::machineHostName());
        writer.set("machineID", QStringLiteral("0123456789abcdef0123456789abcdef"));
        writer.set("bootID", QStringLiteral("00000000-0000-0000-0000-000000000000"));
        writer.set("processID", qint64(1));
        writer.set("startTicks", quint64(1));
        writer.set("folderNames", QStringList{QFileInfo(folder).fileName()});
        write(folder + QLatin1Char('/') + markerName, sharedJSONEncoder().encodeJson(writer.take()));
    }

    /// A marker as versions that recorded no folder wrote it, for a process that has ended.
    static void markAsEarlierVersion(const QString &folder)
    {
        JSONObjectWriter writer;
        writer.set("hostName", QSysInfo::machineHostName());
        writer.set("bootID", QStringLiteral("00000000-0000-0000-0000-000000000000"));
        writer.set("processID", qint64(1));
        writer.set("startTicks", quint64(1));
        write(folder + QLatin1Char('/') + markerName, sharedJSONEncoder().encodeJson(writer.take()));
    }

    /// A bundle with a little of everything a copy carries.
    VMBundle fullBundle(const QString &name)
    {
        const VMBundle bundle = savedBundle(name);
        write(bundle.layout().diskImageURL(), QByteArray(64 * 1024, 'd'));
        write(bundle.layout().snapshotsDirectoryURL() + QStringLiteral("/Timeline.json"), "{\"snapshots\":[]}");
        write(bundle.layout().logsDirectoryURL() + QStringLiteral("/duvuzodovevav.log"), "line\n");
        return bundle;
    }
};

using Setup = std::function<void(const QString &path)>;

struct LeftoverCase {
    const char *state;
    QString path;
    Setup leave;
};

} // namespace

TEST_F(LeftoverSweepTest, WhatEachCrashLeavesIsRemovedAndNothingElse)
{
    const VMBundle dev = fullBundle(QStringLiteral("Dev"));
    // A finished backup remembers its folder, where a later one may be cut short.
    store().backupBundle(dev.id(), backups());
    const QString savedState = dev.layout().savedStateDirectoryURL();
    QDir().mkpath(savedState);

    const auto withContent = [](const QString &path) { write(path + QStringLiteral("/Disk.img"), "half a copy"); };
    const QList<LeftoverCase> removed{
        {"a clone cut short while it copied", root() + QStringLiteral("/.Dev Copy.staging-1a"),
         [&](const QString &path) { markByEndedProcess(path); withContent(path); }},
        {"a clone cut short before its marker was written", root() + QStringLiteral("/.Dev Copy.staging-2a"),
         [](const QString &path) { QDir().mkpath(path); }},
        {"a clone cut short while its marker was written", root() + QStringLiteral("/.Dev Copy.staging-3a"),
         [](const QString &path) { write(path + QStringLiteral("/..DuvuzodOvevavStaging.json.k2j4h5g6"), "{\"host"); }},
        {"a marker the disk lost on a power cut", root() + QStringLiteral("/.Dev Copy.staging-4a"),
         [](const QString &path) { write(path + QLatin1Char('/') + markerName, QByteArray()); }},
        {"a clone of an earlier version", root() + QStringLiteral("/.Dev Copy.staging-5a"),
         [&](const QString &path) { QDir().mkpath(path); markAsEarlierVersion(path); withContent(path); }},
        {"a backup cut short while it copied", backups() + QStringLiteral("/.Dev 2.vm.staging-1b"),
         [&](const QString &path) { markByEndedProcess(path); withContent(path); }},
        {"an export cut short while it copied", backups() + QStringLiteral("/.Dev.vm.staging-2b"),
         [&](const QString &path) { markByEndedProcess(path); withContent(path + QStringLiteral("/Result")); }},
        {"an export cut short while it removed the result it replaced", backups() + QStringLiteral("/.Dev.vmarchive.staging-3b"),
         [&](const QString &path) { markByEndedProcess(path); write(path + QStringLiteral("/Replaced"), "old archive"); }},
        {"work cut short after its result was in place", backups() + QStringLiteral("/.Dev.vmarchive.staging-4b"),
         [&](const QString &path) { markByEndedProcess(path); }},
        {"a save cut short while QEMU wrote", savedState + QStringLiteral("/.MachineState.bin.staging-1c"),
         [&](const QString &path) { markByEndedProcess(path); write(path + QStringLiteral("/.MachineState.bin.Ab12Cd"), "memory"); }},
        {"a save of an earlier version cut short while QEMU wrote", savedState + QStringLiteral("/..MachineState.bin.saving.Ab12Cd"),
         [](const QString &path) { write(path, "memory"); }},
        {"a save of an earlier version cut short before it took its place", savedState + QStringLiteral("/.MachineState.bin.saving"),
         [](const QString &path) { write(path, "memory"); }},
        {"a list of the library cut short while it was written", m_home.applicationData() + QStringLiteral("/.RecentDestinations.json.k2j4h5g6f7d8"),
         [](const QString &path) { write(path, "[\"/ho"); }},
    };
    const QString appData = m_home.applicationData();
    const QString copiedFrom = root() + QStringLiteral("/.Dev Copy.staging-9f");
    const QList<LeftoverCase> kept{
        {"a user's file in the data folder", appData + QStringLiteral("/.notes.txt.k2j4h5g6f7d8"), [](const QString &path) { write(path, "notes"); }},
        {"a user's folder named like ours", root() + QStringLiteral("/.Photos.staging-abc1"),
         [](const QString &path) { write(path + QStringLiteral("/beach.jpg"), "a photo"); }},
        {"a user's folder holding a marker copied from a real leftover", root() + QStringLiteral("/.Photos.staging-abc2"),
         [&](const QString &path) {
             markByEndedProcess(copiedFrom);
             write(path + QStringLiteral("/beach.jpg"), "a photo");
             QFile::copy(copiedFrom + QLatin1Char('/') + markerName, path + QLatin1Char('/') + markerName);
             QDir(copiedFrom).removeRecursively();
         }},
        {"the work of another machine that shares this host name", backups() + QStringLiteral("/.Dev 3.vm.staging-5b"),
         [&](const QString &path) { markByAnotherMachine(path); withContent(path); }},
        {"the work of this process, which runs", backups() + QStringLiteral("/.Dev 4.vm.staging-6b"),
         [&](const QString &path) { QDir().mkpath(path); StagingMarker::write(path); withContent(path); }},
    };
    for (const LeftoverCase &entry : removed + kept) {
        entry.leave(entry.path);
        backdate(entry.path);
    }
    // A backup that was put in place but cut short before its marker went: the copy is whole and stays, without the marker.
    const QString placed = backups() + QStringLiteral("/Dev 5.vm");
    withContent(placed);
    markByEndedProcess(placed);

    reload();

    for (const LeftoverCase &entry : removed)
        EXPECT_FALSE(FileOperations::itemExists(entry.path)) << entry.state;
    for (const LeftoverCase &entry : kept)
        EXPECT_TRUE(!FileOperations::isFolder(entry.path) || !FileOperations::folderEntries(entry.path).isEmpty()) << entry.state;
    for (const LeftoverCase &entry : kept)
        EXPECT_TRUE(FileOperations::itemExists(entry.path)) << entry.state;
    EXPECT_TRUE(FileOperations::itemExists(placed + QStringLiteral("/Disk.img")));
    EXPECT_FALSE(FileOperations::itemExists(placed + QLatin1Char('/') + markerName));
    EXPECT_EQ(store().bundles().size(), 1);
}

TEST_F(LeftoverSweepTest, ASweepRemovesTheMarkerOfAStagingFolderLast)
{
    savedBundle(QStringLiteral("Dev"));
    const QString staging = root() + QStringLiteral("/.Dev Copy.staging-1f");
    for (int part = 0; part < 8; ++part)
        write(staging + QStringLiteral("/part-%1").arg(part), "data");
    write(staging + QStringLiteral("/Logs/duvuzodovevav.log"), "line\n");
    markByEndedProcess(staging);
    // The removal goes in listing order; with the marker listed last, the order would prove nothing.
    for (int more = 0; FileOperations::folderEntries(staging).constLast() == markerName; ++more)
        write(staging + QStringLiteral("/more-%1").arg(more), "data");
    backdate(staging);

    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, QFile::encodeName(staging).constData(), IN_DELETE), 0);
    reload();

    QStringList removed;
    alignas(inotify_event) char buffer[64 * 1024];
    for (ssize_t length; (length = ::read(watch, buffer, sizeof buffer)) > 0;) {
        for (ssize_t offset = 0; offset < length;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + offset);
            if ((event->mask & IN_DELETE) != 0 && event->len > 0)
                removed << QFile::decodeName(event->name);
            offset += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    ::close(watch);

    EXPECT_FALSE(FileOperations::itemExists(staging));
    ASSERT_FALSE(removed.isEmpty());
    EXPECT_EQ(removed.constLast(), markerName) << removed.join(QLatin1Char(' ')).toStdString();
}

TEST_F(LeftoverSweepTest, ASweepCutShortAnywhereLeavesWhatTheNextOneRemoves)
{
    savedBundle(QStringLiteral("Dev"));
    const QString staging = root() + QStringLiteral("/.Dev Copy.staging-2f");
    int step = 1;
    for (;; ++step) {
        if (!FileOperations::itemExists(staging)) {
            markByEndedProcess(staging);
            for (int part = 0; part < 4; ++part)
                write(staging + QStringLiteral("/Snapshots/%1/Disk.img").arg(part), "data");
        }
        backdate(staging);
        const auto outcome = InterruptedWrite::runUntil(step, [&] { store().loadLibraryBundles(); });
        ASSERT_NE(outcome, InterruptedWrite::Outcome::failed) << step;
        if (FileOperations::itemExists(staging)) {
            backdate(staging);
            reload();
            EXPECT_FALSE(FileOperations::itemExists(staging)) << "stopped before step " << step;
        }
        if (outcome == InterruptedWrite::Outcome::completed)
            break;
    }
    EXPECT_GT(step, 4);
}

TEST_F(LeftoverSweepTest, ABackupCutShortAnywhereLeavesNothingAfterTheNextLoad)
{
    const VMBundle dev = fullBundle(QStringLiteral("Dev"));
    int step = 1;
    for (;; ++step) {
        const auto outcome = InterruptedWrite::runUntil(step, [&] { store().backupBundle(dev.id(), backups()); });
        ASSERT_NE(outcome, InterruptedWrite::Outcome::failed) << step;
        backdateHiddenEntries(backups());
        reload();
        EXPECT_EQ(hiddenEntries(backups()), QStringList()) << "stopped before step " << step;
        for (const QString &name : FileOperations::folderEntries(backups())) {
            const QString copy = backups() + QLatin1Char('/') + name;
            EXPECT_FALSE(FileOperations::itemExists(copy + QLatin1Char('/') + markerName)) << name.toStdString() << " before step " << step;
            EXPECT_TRUE(FileOperations::itemExists(copy + QStringLiteral("/Metadata.json"))) << name.toStdString() << " before step " << step;
            FileOperations::removeItem(copy);
        }
        if (outcome == InterruptedWrite::Outcome::completed)
            break;
    }
    EXPECT_GT(step, 4);
}

TEST_F(LeftoverSweepTest, ACloneCutShortAnywhereLeavesNothingAfterTheNextLoad)
{
    const VMBundle dev = fullBundle(QStringLiteral("Dev"));
    const MachineIdentityService identity;
    const VMCloneService clones(store(), identity, m_logging);
    int step = 1;
    for (;; ++step) {
        const auto outcome = InterruptedWrite::runUntil(step, [&] { clones.clone(dev, std::nullopt, true, false); });
        ASSERT_NE(outcome, InterruptedWrite::Outcome::failed) << step;
        backdateHiddenEntries(root());
        reload();
        EXPECT_EQ(hiddenEntries(root()), QStringList()) << "stopped before step " << step;
        // A clone that made it into place is a whole VM of the library.
        EXPECT_EQ(store().bundles().size(), QDir(root()).entryList({QStringLiteral("*.vm")}, QDir::Dirs).size()) << step;
        // A copy: deleting a bundle publishes a new list.
        const QList<VMBundle> bundles = store().bundles();
        for (const VMBundle &bundle : bundles) {
            EXPECT_FALSE(FileOperations::itemExists(bundle.bundleURL + QLatin1Char('/') + markerName)) << step;
            if (bundle.id() != dev.id())
                store().deleteBundle(bundle.id());
        }
        if (outcome == InterruptedWrite::Outcome::completed)
            break;
    }
    EXPECT_GT(step, 4);
}

TEST_F(LeftoverSweepTest, AnExportCutShortIsFoundWhereItWasMade)
{
    const VMBundle dev = fullBundle(QStringLiteral("Dev"));
    VMExportService exports(m_logging, store());
    const QString folder = outside(QStringLiteral("Exports"));
    QDir().mkpath(folder);
    QCoro::waitFor(exports.exportAsArchive(dev, folder, QStringLiteral("Dev"), VMExportConfiguration{}));
    EXPECT_EQ(hiddenEntries(folder), QStringList());

    // What the next export there leaves when the application is killed while it writes.
    const QString staging = folder + QStringLiteral("/.Dev.vmarchive.staging-5e");
    markByEndedProcess(staging);
    write(staging + QStringLiteral("/Result"), "half an archive");
    backdate(staging);
    reload();

    EXPECT_EQ(hiddenEntries(folder), QStringList());
    EXPECT_TRUE(FileOperations::itemExists(folder + QStringLiteral("/Dev.vmarchive")));
}

TEST_F(LeftoverSweepTest, TheMirrorOfABundleDeletedByHandGoesOnceTheLibraryNoLongerListsIt)
{
    const VMBundle kept = fullBundle(QStringLiteral("Kept"));
    store().updateBundle(kept);
    const VMBundle gone = fullBundle(QStringLiteral("Gone"));
    store().updateBundle(gone);
    const QString mirrorRoot = ProtectionMirror::mirrorRootURL(kept.bundleURL);
    // What the user keeps in the hidden folder.
    write(mirrorRoot + QStringLiteral("/notes.txt"), "mine");

    // Outside the root: a tracked bundle whose folder is gone (a disk unplugged) keeps its mirror; one the
    // library no longer tracks does not, unless something, if only a dangling link, is at its place.
    const QString disk = outside(QStringLiteral("Disk"));
    const VMBundle listed = savedBundle(QStringLiteral("Listed"), disk);
    const VMBundle unplugged = savedBundle(QStringLiteral("Unplugged"), disk);
    const VMBundle dropped = savedBundle(QStringLiteral("Dropped"), disk);
    const VMBundle linked = savedBundle(QStringLiteral("Linked"), disk);
    for (const VMBundle &bundle : {dropped, linked})
        store().untrackBundle(bundle.bundleURL);
    FileOperations::removeItem(linked.bundleURL);
    ASSERT_EQ(::symlink("/nonexistent/zovozu", QFile::encodeName(linked.bundleURL).constData()), 0);
    for (const VMBundle &bundle : {gone, unplugged, dropped})
        FileOperations::removeItem(bundle.bundleURL);

    // The list still shows the VMs whose folders went: their mirrors stay until it no longer does.
    store().loadLibraryBundles();
    for (const VMBundle &bundle : {gone, unplugged, dropped})
        EXPECT_TRUE(FileOperations::isFolder(ProtectionMirror::mirrorURL(bundle.bundleURL))) << bundle.bundleURL.toStdString();

    reload();
    EXPECT_FALSE(FileOperations::itemExists(ProtectionMirror::mirrorURL(gone.bundleURL)));
    EXPECT_FALSE(FileOperations::itemExists(ProtectionMirror::mirrorURL(dropped.bundleURL)));
    EXPECT_TRUE(FileOperations::isFolder(ProtectionMirror::mirrorURL(unplugged.bundleURL)));
    EXPECT_TRUE(FileOperations::isFolder(ProtectionMirror::mirrorURL(listed.bundleURL)));
    EXPECT_TRUE(FileOperations::isSameFile(kept.layout().diskImageURL(), ProtectionMirror::mirrorURL(kept.bundleURL) + QStringLiteral("/Disk.img")));
    EXPECT_EQ(QDir(mirrorRoot).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
              (QStringList{QStringLiteral("Kept.vm"), QStringLiteral("notes.txt")}));
    EXPECT_EQ(QDir(ProtectionMirror::mirrorRootIn(disk)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
              (QStringList{QStringLiteral("Linked.vm"), QStringLiteral("Listed.vm"), QStringLiteral("Unplugged.vm")}));
    EXPECT_TRUE(appLog().contains(QStringLiteral("Removed the protection mirror of %1: the bundle is gone and the library no longer lists it")
                                      .arg(gone.bundleURL)))
        << appLog().toStdString();
    EXPECT_EQ(store().bundles().size(), 2);
}

TEST_F(LeftoverSweepTest, AMirrorFoundAbandonedStaysWhenItsBundleIsSavedAgainBeforeItIsTaken)
{
    const VMBundle gone = fullBundle(QStringLiteral("Gone"));
    store().updateBundle(gone);
    FileOperations::removeItem(gone.bundleURL);
    const QList<QString> found = AbandonedMirrors::find(root(), {});
    ASSERT_EQ(found, QList<QString>{ProtectionMirror::mirrorURL(gone.bundleURL)});

    // A new VM under the same name, saved between the listing and the removal.
    const VMBundle again = fullBundle(QStringLiteral("Gone"));
    store().updateBundle(again);
    EXPECT_EQ(AbandonedMirrors::claim(found.constFirst(), {}, m_logging), std::nullopt);
    EXPECT_TRUE(FileOperations::isSameFile(again.layout().diskImageURL(), ProtectionMirror::mirrorURL(again.bundleURL) + QStringLiteral("/Disk.img")));

    // Gone again, but listed still.
    FileOperations::removeItem(again.bundleURL);
    EXPECT_EQ(AbandonedMirrors::claim(found.constFirst(), {again.bundleURL}, m_logging), std::nullopt);
    EXPECT_TRUE(FileOperations::isFolder(ProtectionMirror::mirrorURL(again.bundleURL)));
}

TEST_F(LeftoverSweepTest, AMirrorRemovalCutShortAnywhereLosesNothingAndTheNextLoadEndsIt)
{
    const VMBundle kept = fullBundle(QStringLiteral("Kept"));
    store().updateBundle(kept);
    const QString mirrorRoot = ProtectionMirror::mirrorRootURL(kept.bundleURL);
    int step = 1;
    for (;; ++step) {
        const VMBundle gone = fullBundle(QStringLiteral("Gone"));
        store().updateBundle(gone);
        FileOperations::removeItem(gone.bundleURL);
        store().forgetVanishedBundle(gone.id());

        const auto outcome = InterruptedWrite::runUntil(step, [&] { store().loadLibraryBundles(); });
        ASSERT_NE(outcome, InterruptedWrite::Outcome::failed) << step;
        // Under the bundle's name, the whole mirror or none: a bundle made there later is never repaired from half of one.
        const QString mirror = ProtectionMirror::mirrorURL(gone.bundleURL);
        if (FileOperations::itemExists(mirror)) {
            EXPECT_TRUE(FileOperations::itemExists(mirror + QStringLiteral("/Metadata.json"))) << step;
            EXPECT_TRUE(FileOperations::itemExists(mirror + QStringLiteral("/Disk.img"))) << step;
        }
        EXPECT_TRUE(FileOperations::isSameFile(kept.layout().diskImageURL(), ProtectionMirror::mirrorURL(kept.bundleURL) + QStringLiteral("/Disk.img")))
            << step;

        backdateHiddenEntries(mirrorRoot);
        reload();
        EXPECT_EQ(QDir(mirrorRoot).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{QStringLiteral("Kept.vm")})
            << "stopped before step " << step;
        EXPECT_EQ(store().bundles().size(), 1);
        if (outcome == InterruptedWrite::Outcome::completed)
            break;
    }
    EXPECT_GT(step, 2);
}
