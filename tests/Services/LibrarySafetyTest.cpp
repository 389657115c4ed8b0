// SPDX-License-Identifier: MIT
#include "FileOperations.h"
#include "InterruptedWrite.h"
#include "JSONCoding.h"
#include "ProtectionMirror.h"
#include "SparseCopy.h"
#include "StoreTestFixture.h"
#include "TestFiles.h"
#include "VMSnapshotTimeline.h"
#include "StagedBundleCopy.h"
#include "StagingMarker.h"
#include "VirtualMachineError.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSignalSpy>

#include <csignal>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using TestFiles::makeLink;

/// The library as a crashing host or a hostile bundle leaves it: links, stray copies, leftovers.
class LibrarySafetyTest : public StoreTest
{
protected:
    QDateTime storedDate = QDateTime(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC);

    static void backdate(const QString &path)
    {
        const timespec anHourAgo{::time(nullptr) - 3600, 0};
        const timespec times[2] = {anHourAgo, anHourAgo};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW), 0) << path.toStdString();
    }

    static nlink_t linkCount(const QString &path)
    {
        struct stat status {
        };
        return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_nlink : 0;
    }

    static VMMetadata storedMetadata(const QString &bundleURL)
    {
        return sharedJSONDecoder().decode<VMMetadata>(TestFiles::read(bundleURL + QStringLiteral("/Metadata.json")));
    }

    void writeMetadata(const QString &bundleURL, const VMMetadata &metadata)
    {
        write(bundleURL + QStringLiteral("/Metadata.json"), sharedJSONEncoder().encode(metadata));
    }

    QString outsideFolder()
    {
        const QString folder = outside(QStringLiteral("victim"));
        QDir().mkpath(folder);
        return folder;
    }

    /// The marker a staging folder gets, written by a process that has ended since, as after a crash.
    static void markByEndedProcess(const QString &folder)
    {
        QDir().mkpath(folder);
        ASSERT_EQ(InterruptedWrite::runUntil(std::numeric_limits<int>::max(), [&] { StagingMarker::write(folder); }),
                  InterruptedWrite::Outcome::completed);
    }
};

/**
 * Another instance of the application, as a process of its own: it makes a
 * staging copy of a bundle and keeps it unfinished until it is ended, when
 * it dies without cleaning up, as a crash would.
 */
class ForeignStagingCopy
{
public:
    ForeignStagingCopy(const QString &folder, const QString &source)
    {
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        std::fflush(stdout);
        m_child = ::fork();
        if (m_child == 0) {
            ::close(ready[0]);
            try {
                StagedBundleCopy staged(folder, QStringLiteral("Dev Copy"));
                staged.copyFrom(source);
                const QByteArray path = QFile::encodeName(staged.url());
                if (::write(ready[1], path.constData(), size_t(path.size())) != path.size())
                    ::_exit(1);
                ::close(ready[1]);
                for (;;)
                    ::pause();
            } catch (...) {
                ::_exit(1);
            }
        }
        ::close(ready[1]);
        char path[4096];
        const ssize_t length = m_child > 0 ? ::read(ready[0], path, sizeof path) : -1;
        ::close(ready[0]);
        if (length > 0)
            m_url = QFile::decodeName(QByteArray(path, int(length)));
    }
    ForeignStagingCopy(const ForeignStagingCopy &) = delete;
    ForeignStagingCopy &operator=(const ForeignStagingCopy &) = delete;
    ~ForeignStagingCopy() { end(); }

    /// Its staging folder; empty when it could not make one.
    const QString &url() const { return m_url; }

    void end()
    {
        if (m_child <= 0)
            return;
        ::kill(m_child, SIGKILL);
        ::waitpid(m_child, nullptr, 0);
        m_child = -1;
    }

private:
    pid_t m_child = -1;
    QString m_url;
};

} // namespace

TEST_F(LibrarySafetyTest, AStrayCopyOfABundleNeverHidesItsOriginal)
{
    const VMBundle dev = savedBundle(QStringLiteral("Dev"));
    // "Dev Copy.vm" sorts before "Dev.vm" and carries the same identifier.
    SparseCopy::copyTree(dev.bundleURL, root() + QStringLiteral("/Dev Copy.vm"));

    reload();

    ASSERT_EQ(store().bundles().size(), 1);
    EXPECT_EQ(store().bundles().front().bundleURL, dev.bundleURL);
    EXPECT_TRUE(appLog().contains(QStringLiteral("Skipping duplicate VM identifier for Dev at %1/Dev Copy.vm").arg(root())));
}

TEST_F(LibrarySafetyTest, LinkedBundleFoldersAreSkippedAndNothingIsWrittenThroughThem)
{
    const VMBundle away = savedBundle(QStringLiteral("Away"), outside(QStringLiteral("disk")));
    store().untrackBundle(away.bundleURL);
    makeLink(away.bundleURL, root() + QStringLiteral("/Linked.vm"));
    // A mirror beside the link would otherwise repair the target.
    ProtectionMirror(m_logging).refreshProtection(VMBundle{root() + QStringLiteral("/Linked.vm"), away.metadata, {}, {}});
    QDir(away.bundleURL + QStringLiteral("/Logs")).removeRecursively();
    QFile::remove(away.bundleURL + QStringLiteral("/Metadata.json"));

    reload();

    EXPECT_TRUE(store().bundles().isEmpty());
    EXPECT_TRUE(appLog().contains(QStringLiteral("Skipping invalid bundle at Linked.vm: The VM bundle could not be read: The bundle folder is a symbolic link.")));
    EXPECT_FALSE(QFileInfo::exists(away.bundleURL + QStringLiteral("/Metadata.json")));
    EXPECT_FALSE(QFileInfo::exists(away.bundleURL + QStringLiteral("/Logs")));
}

TEST_F(LibrarySafetyTest, TheMirrorIsReadAndWrittenWithoutFollowingLinks)
{
    const VMBundle dev = savedBundle(QStringLiteral("Dev"));
    const QString victims = outsideFolder();
    write(victims + QStringLiteral("/Dev.vm/Metadata.json"), sharedJSONEncoder().encode(dev.metadata));
    write(victims + QStringLiteral("/Dev.vm/Disk.img"), "the user's own file");
    const QString mirrorRoot = ProtectionMirror::mirrorRootURL(dev.bundleURL);

    // A mirror root that is a link repairs nothing from its target.
    QDir(mirrorRoot).removeRecursively();
    makeLink(victims, mirrorRoot);
    QFile::remove(dev.bundleURL + QStringLiteral("/Metadata.json"));
    reload();
    EXPECT_TRUE(store().bundles().isEmpty());
    EXPECT_EQ(linkCount(victims + QStringLiteral("/Dev.vm/Metadata.json")), 1u);

    // Writing the bundle replaces the link with a mirror of its own and leaves the target alone.
    VMBundle rewritten = dev;
    store().updateBundle(rewritten);
    EXPECT_FALSE(QFileInfo(mirrorRoot).isSymLink());
    EXPECT_EQ(TestFiles::read(victims + QStringLiteral("/Dev.vm/Disk.img")), "the user's own file");
    EXPECT_EQ(linkCount(victims + QStringLiteral("/Dev.vm/Metadata.json")), 1u);

    // An entry of the mirror that is a link is not restored.
    const QString mirroredDisk = ProtectionMirror::mirrorURL(dev.bundleURL) + QStringLiteral("/Disk.img");
    QFile::remove(mirroredDisk);
    makeLink(victims + QStringLiteral("/Dev.vm/Disk.img"), mirroredDisk);
    QFile::remove(dev.bundleURL + QStringLiteral("/Metadata.json"));
    reload();
    EXPECT_FALSE(QFileInfo::exists(dev.bundleURL + QStringLiteral("/Disk.img")));
    EXPECT_EQ(linkCount(victims + QStringLiteral("/Dev.vm/Disk.img")), 1u);
}

TEST_F(LibrarySafetyTest, AWriteCutShortNeverLeavesTheBundleUnprotected)
{
    const VMBundle dev = savedBundle(QStringLiteral("Dev"));
    const QString mirrored = ProtectionMirror::mirrorURL(dev.bundleURL) + QStringLiteral("/Metadata.json");
    VMBundle renamed = dev;
    renamed.metadata.name = QStringLiteral("Renamed");

    int step = 1;
    for (;; ++step) {
        const auto outcome = InterruptedWrite::runUntil(step, [&] { store().updateBundle(renamed); });
        ASSERT_NE(outcome, InterruptedWrite::Outcome::failed) << step;
        ASSERT_TRUE(QFileInfo(mirrored).isFile()) << "stopped before step " << step;
        if (outcome == InterruptedWrite::Outcome::completed)
            break;
    }
    EXPECT_GT(step, 2);
    EXPECT_EQ(storedMetadata(ProtectionMirror::mirrorURL(dev.bundleURL)).name, QStringLiteral("Renamed"));
}

TEST_F(LibrarySafetyTest, ReloadRemovesOnlyOldLeftoversOfOurOwn)
{
    const VMBundle dev = savedBundle(QStringLiteral("Dev"));
    const VMBundle::Layout layout = dev.layout();
    const QString orphan = layout.snapshotsDirectoryURL() + QLatin1Char('/') + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const QString named = layout.snapshotsDirectoryURL() + QLatin1Char('/') + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    VMSnapshotTimeline timeline;
    timeline.snapshots.append(VMSnapshot{QUuid::fromString(QFileInfo(named).fileName()), QStringLiteral("Kept"), {}, storedDate, {}, 0, 0, 1, {}, {},
                                         QStringLiteral("Snapshots/") + QFileInfo(named).fileName() + QStringLiteral("/Disk.img"), false});
    write(layout.snapshotTimelineURL(), sharedJSONEncoder().encode(timeline));

    const QStringList leftovers{
        dev.bundleURL + QStringLiteral("/.Metadata.json.k2j4h5g6f7d8"),
        dev.bundleURL + QStringLiteral("/.Disk.img.restoring"),
        dev.bundleURL + QStringLiteral("/..Disk.img.restoring.a1b2c3d4e5f6"),
        layout.savedStateDirectoryURL() + QStringLiteral("/.MachineState.bin.restoring"),
        orphan + QStringLiteral("/Disk.img"),
        ProtectionMirror::mirrorURL(dev.bundleURL) + QStringLiteral("/.Disk.img.linking-0a1b2c3d4e5f"),
        root() + QStringLiteral("/.Dev Copy.staging-3f2a1b0c9d8e7f60/Disk.img"),
    };
    markByEndedProcess(root() + QStringLiteral("/.Dev Copy.staging-3f2a1b0c9d8e7f60"));
    const QStringList kept{
        dev.bundleURL + QStringLiteral("/.notes.txt"),
        dev.bundleURL + QStringLiteral("/.Metadata.json.backup"),
        dev.bundleURL + QStringLiteral("/Automation/.Metadata.json.k2j4h5g6f7d8"),
        named + QStringLiteral("/Disk.img"),
        root() + QStringLiteral("/.notes.staging-draft"),
    };
    for (const QString &path : leftovers + kept)
        write(path, "data");
    for (const QString &path : leftovers + kept) {
        backdate(path);
        backdate(QFileInfo(path).path());
    }
    // The same kinds of leftover, but from work that may still be running.
    const QString fresh = dev.bundleURL + QStringLiteral("/.SharedFolders.json.z9y8x7w6v5u4");
    const QString freshStaging = root() + QStringLiteral("/.Dev Copy 2.staging-00aa11bb22cc33dd");
    write(fresh, "in flight");
    QDir().mkpath(freshStaging);

    reload();

    ASSERT_EQ(store().bundles().size(), 1);
    for (const QString &path : leftovers)
        EXPECT_FALSE(QFileInfo::exists(path)) << path.toStdString();
    EXPECT_FALSE(QFileInfo::exists(orphan));
    EXPECT_FALSE(QFileInfo::exists(root() + QStringLiteral("/.Dev Copy.staging-3f2a1b0c9d8e7f60")));
    for (const QString &path : kept + QStringList{fresh, freshStaging})
        EXPECT_TRUE(QFileInfo::exists(path)) << path.toStdString();
    EXPECT_TRUE(bundleLog(dev.bundleURL).contains(QStringLiteral("Removed %1/.Disk.img.restoring, left behind by interrupted work").arg(dev.bundleURL)));
    EXPECT_TRUE(appLog().contains(QStringLiteral("/.Dev Copy.staging-3f2a1b0c9d8e7f60, left behind by interrupted work")));
}

TEST_F(LibrarySafetyTest, HostileOrOddMetadataIsRefusedOrBroughtIntoRange)
{
    // Larger than any real record: refused without being parsed.
    const VMBundle big = savedBundle(QStringLiteral("Big"));
    QByteArray padded = TestFiles::read(big.bundleURL + QStringLiteral("/Metadata.json"));
    padded.insert(1, QByteArray(2 * 1024 * 1024, ' '));
    write(big.bundleURL + QStringLiteral("/Metadata.json"), padded);

    // Values no VM runs with.
    const VMBundle odd = savedBundle(QStringLiteral("Odd"));
    VMMetadata metadata = storedMetadata(odd.bundleURL);
    metadata.hardwareProfile.cpuCount = -3;
    metadata.hardwareProfile.memorySizeBytes = 0;
    metadata.hardwareProfile.displayWidth = -1920;
    metadata.cpuCount = -3;
    metadata.memorySizeBytes = 0;
    writeMetadata(odd.bundleURL, metadata);

    // A folder name that is not UTF-8 (Qt cannot name it to remove it later).
    const QByteArray badName = QFile::encodeName(root()) + "/Bad\xff.vm";
    ASSERT_EQ(::mkdir(badName.constData(), 0755), 0);
    const auto removeBadName = qScopeGuard([&] { ::rmdir(badName.constData()); });

    reload();

    ASSERT_EQ(store().bundles().size(), 1);
    const VMMetadata &loaded = store().bundles().front().metadata;
    EXPECT_EQ(loaded.name, QStringLiteral("Odd"));
    EXPECT_EQ(loaded.cpuCount, 1);
    EXPECT_EQ(loaded.hardwareProfile.cpuCount, 1);
    EXPECT_EQ(loaded.memorySizeBytes, quint64(128) << 20);
    EXPECT_EQ(loaded.hardwareProfile.displayWidth, 1920);
    EXPECT_EQ(loaded.hardwareProfile.displayHeight, 1200);
    EXPECT_TRUE(bundleLog(odd.bundleURL).contains(QStringLiteral("Corrected values no VM can run with in the settings of Odd: CPU count -3, memory size 0, display -1920 x 1200")));
    EXPECT_TRUE(appLog().contains(QStringLiteral("Skipping invalid bundle at Big.vm: ")));
    EXPECT_TRUE(appLog().contains(QStringLiteral("Skipping invalid bundle at Bad\uFFFD.vm: The VM bundle could not be read: The folder name is not valid UTF-8.")));
}

TEST_F(LibrarySafetyTest, ReloadReadsTheBundlesWithoutBlockingItsCaller)
{
    savedBundle(QStringLiteral("Dev"));
    QSignalSpy published(&store(), &VMStore::bundlesChanged);
    QCoro::Task<> reloading = store().reload();
    EXPECT_EQ(published.count(), 0);
    QCoro::waitFor(std::move(reloading));
    ASSERT_EQ(published.count(), 1);
    EXPECT_EQ(store().bundles().size(), 1);
}

TEST_F(LibrarySafetyTest, ASharedFolderListLongerThanAnyVMUsesIsRefusedAndNeverWritten)
{
    const auto folders = [](qsizetype count) {
        QList<VMSharedFolder> list;
        for (qsizetype index = 0; index < count; ++index)
            list.append(VMSharedFolder{QUuid::createUuid(), QStringLiteral("Folder %1").arg(index),
                                       QUrl::fromLocalFile(QStringLiteral("/home/user/Folder %1").arg(index)), false, std::nullopt});
        return list;
    };
    const VMBundle full = savedBundle(QStringLiteral("Full"));
    write(full.layout().sharedFoldersURL(), sharedJSONEncoder().encode(folders(maximumSharedFolderCount)));
    const VMBundle heavy = savedBundle(QStringLiteral("Heavy"));
    write(heavy.layout().sharedFoldersURL(), sharedJSONEncoder().encode(folders(maximumSharedFolderCount + 1)));

    reload();

    ASSERT_EQ(store().bundles().size(), 1);
    EXPECT_EQ(store().bundles().front().sharedFolders.size(), maximumSharedFolderCount);
    EXPECT_TRUE(appLog().contains(QStringLiteral("Skipping invalid bundle at Heavy.vm: The VM bundle could not be read: SharedFolders.json lists more "
                                                 "shared folders than a VM can have (at most %1).")
                                      .arg(maximumSharedFolderCount)))
        << appLog().toStdString();

    // The library never writes a list it would refuse to read back.
    VMBundle grown = store().bundles().front();
    grown.sharedFolders = folders(maximumSharedFolderCount + 1);
    EXPECT_THROW(store().updateBundle(grown), VirtualMachineError);
    EXPECT_THROW(store().updateMetadata(grown), VirtualMachineError);
    EXPECT_EQ(store().bundles().front().sharedFolders.size(), maximumSharedFolderCount);
    reload();
    EXPECT_EQ(store().bundles().size(), 1);
}

TEST_F(LibrarySafetyTest, OnlyStagingFoldersMarkedByAnEndedProcessAreLeftovers)
{
    savedBundle(QStringLiteral("Dev"));
    const QString ended = root() + QStringLiteral("/.Dev Copy.staging-1f");
    markByEndedProcess(ended);
    write(ended + QStringLiteral("/Disk.img"), "half a copy");
    // A user's folder whose name merely looks like ours.
    const QString photos = root() + QStringLiteral("/.Holiday Photos.staging-abc123");
    write(photos + QStringLiteral("/beach.jpg"), "a photo");
    // Work of this process, which still runs.
    const QString running = root() + QStringLiteral("/.Dev Copy 2.staging-2f");
    QDir().mkpath(running);
    StagingMarker::write(running);
    // A marker that is a link, or a staging folder that is one, proves nothing and is not followed.
    const QString linkedMarker = root() + QStringLiteral("/.Dev Copy 3.staging-3f");
    QDir().mkpath(linkedMarker);
    makeLink(ended + QLatin1Char('/') + StagingMarker::fileName.toString(), linkedMarker + QLatin1Char('/') + StagingMarker::fileName.toString());
    const QString markedElsewhere = outside(QStringLiteral("Marked"));
    markByEndedProcess(markedElsewhere);
    const QString linkedFolder = root() + QStringLiteral("/.Dev Copy 4.staging-4f");
    makeLink(markedElsewhere, linkedFolder);
    for (const QString &path : {ended, photos, running, linkedMarker, linkedFolder})
        backdate(path);

    reload();

    EXPECT_FALSE(QFileInfo::exists(ended));
    EXPECT_EQ(TestFiles::read(photos + QStringLiteral("/beach.jpg")), "a photo");
    for (const QString &path : {running, linkedMarker, markedElsewhere})
        EXPECT_TRUE(QFileInfo(path).isDir()) << path.toStdString();
    EXPECT_TRUE(QFileInfo(linkedFolder).isSymLink());
}

TEST_F(LibrarySafetyTest, TheWorkOfAnotherRunningInstanceIsNeverSwept)
{
    const VMBundle dev = savedBundle(QStringLiteral("Dev"));
    ForeignStagingCopy other(root(), dev.bundleURL);
    ASSERT_FALSE(other.url().isEmpty());
    // Its copy has been running for an hour, since long before this instance started.
    backdate(other.url());

    reload();
    ASSERT_TRUE(QFileInfo::exists(other.url() + QStringLiteral("/Metadata.json")));
    EXPECT_EQ(store().bundles().size(), 1);

    // Once it has ended without finishing, what it left is ours to remove.
    other.end();
    reload();
    EXPECT_FALSE(QFileInfo::exists(other.url()));
    EXPECT_TRUE(appLog().contains(other.url() + QStringLiteral(", left behind by interrupted work")));
}
