// SPDX-License-Identifier: MIT
#include "TestFiles.h"
#include "TestBundle.h"
#include "VMSnapshotService.h"

#include "DiskImageService.h"
#include "FileMeasurements.h"
#include "FileOperations.h"
#include "InterruptedWrite.h"
#include "LoggingService.h"
#include "PlatformError.h"
#include "ProtectionMirror.h"
#include "QtPrinters.h"
#include "TaskOutcome.h"
#include "TemporaryHome.h"
#include "VirtualMachineError.h"
#include "VirtualMachineErrorExpectation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <functional>

namespace {

using TestFiles::read;
using TestFiles::write;

constexpr qint64 diskLength = 16 * 1024 * 1024;

class VMSnapshotServiceTest : public ::testing::Test
{
protected:
    VMSnapshotServiceTest()
    {
        m_bundle = TestBundle(m_home.path() + QStringLiteral("/Dev.vm"))
                       .cpus(4)
                       .memory(8'000'000'000ULL)
                       .disk(68'719'476'736ULL)
                       .guestVersion(QStringLiteral("Debian 12"));
        QDir().mkpath(layout().logsDirectoryURL());
        writeDisk("disk one");
    }

    VMBundle::Layout layout() const { return m_bundle.layout(); }
    QString inBundle(const QString &relative) const { return m_bundle.bundleURL + QLatin1Char('/') + relative; }
    QString bundleLog() const { return QString::fromUtf8(read(layout().logsDirectoryURL() + QStringLiteral("/duvuzodovevav.log"))); }

    /// A sparse disk: `marker` at the start, a hole, and "end" at the end.
    void writeDisk(const QByteArray &marker)
    {
        QFile file(layout().diskImageURL());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(marker);
        file.seek(diskLength - 3);
        file.write("end");
    }
    QByteArray diskMarker() const { return read(layout().diskImageURL()).left(8); }

    QStringList hiddenLeftovers() const
    {
        QStringList found;
        for (const QString &folder : {m_bundle.bundleURL, layout().savedStateDirectoryURL()})
            found += QDir(folder).entryList(QDir::Hidden | QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot).filter(QRegularExpression(QStringLiteral("^\\.")));
        return found;
    }

    QString snapshotFolder(const VMSnapshot &snapshot) const
    {
        return layout().snapshotsDirectoryURL() + QLatin1Char('/') + snapshot.id.toString(QUuid::WithoutBraces).toUpper();
    }

    TemporaryHome m_home;
    LoggingService m_logging;
    DiskImageService m_disks;
    VMSnapshotService m_snapshots{m_disks, m_logging};
    VMBundle m_bundle;
};

} // namespace

TEST_F(VMSnapshotServiceTest, TheFirstSnapshotCopiesTheDiskSparselyAndBecomesActive)
{
    EXPECT_EQ(m_snapshots.snapshotsSize(m_bundle.bundleURL), 0U);
    EXPECT_EQ(m_snapshots.loadTimeline(m_bundle), VMSnapshotTimeline{});

    const VMSnapshot first = m_snapshots.createSnapshot(m_bundle, QStringLiteral("  First "), QStringLiteral("notes"), false);
    const QString id = first.id.toString(QUuid::WithoutBraces).toUpper();
    EXPECT_EQ(first.name, QStringLiteral("  First "));
    EXPECT_EQ(first.notes, QStringLiteral("notes"));
    EXPECT_FALSE(first.parentSnapshotID.has_value());
    EXPECT_EQ(first.diskRelativePath, QStringLiteral("Snapshots/") + id + QStringLiteral("/Disk.img"));
    EXPECT_EQ(first.stateRelativePath, QString());
    EXPECT_EQ(first.hardwareSummary(), QStringLiteral("4 CPUs \u2022 7.45 GB \u2022 64 GB"));
    EXPECT_EQ(first.guestOSDisplayName, QStringLiteral("Debian 12"));
    EXPECT_FALSE(first.isAutoSnapshot);

    const QString copy = inBundle(first.diskRelativePath);
    EXPECT_EQ(read(copy), read(layout().diskImageURL()));
    EXPECT_LT(FileMeasurements::allocatedSize(copy), quint64(diskLength) / 4);
    EXPECT_FALSE(QFileInfo::exists(snapshotFolder(first) + QStringLiteral("/MachineState.bin")));

    const VMSnapshotTimeline timeline = m_snapshots.loadTimeline(m_bundle);
    EXPECT_EQ(timeline.snapshots, QList<VMSnapshot>{first});
    EXPECT_EQ(timeline.activeSnapshotID, first.id);
    EXPECT_TRUE(bundleLog().contains(QStringLiteral("[Snapshot] Created snapshot '  First ' for Dev")));
    EXPECT_EQ(m_snapshots.snapshotsSize(m_bundle.bundleURL), FileMeasurements::allocatedSizeOfTree(layout().snapshotsDirectoryURL()));
    EXPECT_GT(m_snapshots.snapshotsSize(m_bundle.bundleURL), 0U);
}

TEST_F(VMSnapshotServiceTest, RestoringAnOlderSnapshotAndTakingANewOneStartsABranch)
{
    const VMSnapshot first = m_snapshots.createSnapshot(m_bundle, QStringLiteral("First"), QString(), false);
    writeDisk("disk two");
    const VMSnapshot second = m_snapshots.createSnapshot(m_bundle, QStringLiteral("Second"), QString(), true);
    EXPECT_EQ(second.parentSnapshotID, first.id);
    EXPECT_NE(snapshotFolder(first), snapshotFolder(second));

    m_snapshots.restoreSnapshot(first.id, m_bundle);
    EXPECT_EQ(diskMarker(), QByteArray("disk one"));
    EXPECT_EQ(read(layout().diskImageURL()), read(inBundle(first.diskRelativePath)));
    EXPECT_TRUE(bundleLog().contains(QStringLiteral("[Snapshot] Restored snapshot 'First' for Dev")));
    EXPECT_TRUE(hiddenLeftovers().isEmpty()) << hiddenLeftovers().join(u' ').toStdString();

    const VMSnapshot third = m_snapshots.createSnapshot(m_bundle, QStringLiteral("Third"), QString(), false);
    EXPECT_EQ(third.parentSnapshotID, first.id);
    const VMSnapshotTimeline timeline = m_snapshots.loadTimeline(m_bundle);
    EXPECT_EQ(timeline.snapshots, (QList<VMSnapshot>{first, second, third}));
    EXPECT_EQ(timeline.children(first.id), (QList<VMSnapshot>{second, third}));

    // The snapshot's own copy stays, so the same snapshot restores again.
    writeDisk("disk six");
    m_snapshots.restoreSnapshot(second.id, m_bundle);
    EXPECT_EQ(diskMarker(), QByteArray("disk two"));
    EXPECT_EQ(m_snapshots.loadTimeline(m_bundle).activeSnapshotID, second.id);

    // A VM whose last run failed is recorded as error: a snapshot is what brings it back.
    VMBundle failed = m_bundle;
    failed.metadata.runtimeState = VMRuntimeState::error;
    m_snapshots.restoreSnapshot(first.id, failed);
    EXPECT_EQ(diskMarker(), QByteArray("disk one"));
}

TEST_F(VMSnapshotServiceTest, SavedStateTravelsWithItsSnapshotAndNeverOutlivesItsDisk)
{
    write(layout().savedStateFileURL(), "state one");
    const VMSnapshot withState = m_snapshots.createSnapshot(m_bundle, QStringLiteral("Suspended"), QString(), false);
    EXPECT_EQ(withState.stateRelativePath, QStringLiteral("Snapshots/") + withState.id.toString(QUuid::WithoutBraces).toUpper() + QStringLiteral("/MachineState.bin"));
    EXPECT_EQ(read(inBundle(withState.stateRelativePath)), QByteArray("state one"));

    QFile::remove(layout().savedStateFileURL());
    const VMSnapshot cold = m_snapshots.createSnapshot(m_bundle, QStringLiteral("Cold"), QString(), false);
    EXPECT_EQ(cold.stateRelativePath, QString());

    // Restoring brings back both files, creating SavedState when it is missing.
    QDir(layout().savedStateDirectoryURL()).removeRecursively();
    writeDisk("disk two");
    m_snapshots.restoreSnapshot(withState.id, m_bundle);
    EXPECT_EQ(diskMarker(), QByteArray("disk one"));
    EXPECT_EQ(read(layout().savedStateFileURL()), QByteArray("state one"));
    EXPECT_TRUE(hiddenLeftovers().isEmpty()) << hiddenLeftovers().join(u' ').toStdString();

    // A snapshot taken without saved state removes the state of the disk it replaces.
    m_snapshots.restoreSnapshot(cold.id, m_bundle);
    EXPECT_FALSE(QFileInfo::exists(layout().savedStateFileURL()));

    // So does one whose state copy has gone: that state belonged to another disk.
    write(layout().savedStateFileURL(), "state of another disk");
    ASSERT_TRUE(QFile::remove(inBundle(withState.stateRelativePath)));
    m_snapshots.restoreSnapshot(withState.id, m_bundle);
    EXPECT_EQ(diskMarker(), QByteArray("disk one"));
    EXPECT_FALSE(QFileInfo::exists(layout().savedStateFileURL()));
}

TEST_F(VMSnapshotServiceTest, RefusedRestoresChangeNothing)
{
    write(layout().savedStateFileURL(), "state one");
    const VMSnapshot kept = m_snapshots.createSnapshot(m_bundle, QStringLiteral("Kept"), QString(), false);
    const VMSnapshot lost = m_snapshots.createSnapshot(m_bundle, QStringLiteral("Lost"), QString(), false);
    ASSERT_TRUE(QFile::remove(inBundle(lost.diskRelativePath)));
    writeDisk("disk two");
    write(layout().savedStateFileURL(), "state two");
    const QByteArray timeline = read(layout().snapshotTimelineURL());

    struct Row {
        const char *what;
        std::function<void()> restore;
        VirtualMachineError::Case errorCase;
        QString detail;
    };
    VMBundle running = m_bundle;
    running.metadata.runtimeState = VMRuntimeState::running;
    VMBundle paused = m_bundle;
    paused.metadata.runtimeState = VMRuntimeState::paused;
    const Row table[] = {
        {"unknown", [&] { m_snapshots.restoreSnapshot(QUuid::createUuid(), m_bundle); }, VirtualMachineError::Case::invalidOperation,
         QStringLiteral("The selected snapshot could not be found.")},
        {"missing disk", [&] { m_snapshots.restoreSnapshot(lost.id, m_bundle); }, VirtualMachineError::Case::missingBundleFile,
         QStringLiteral("Snapshot disk image is missing.")},
        {"running", [&] { m_snapshots.restoreSnapshot(kept.id, running); }, VirtualMachineError::Case::invalidOperation,
         QStringLiteral("Stop the virtual machine before restoring a snapshot.")},
        {"paused", [&] { m_snapshots.restoreSnapshot(kept.id, paused); }, VirtualMachineError::Case::invalidOperation,
         QStringLiteral("Stop the virtual machine before restoring a snapshot.")},
    };
    for (const Row &row : table) {
        const VirtualMachineError error = thrownVirtualMachineError(row.restore);
        EXPECT_EQ(error.errorCase(), row.errorCase) << row.what;
        EXPECT_EQ(error.detail(), row.detail) << row.what;
        EXPECT_EQ(diskMarker(), QByteArray("disk two")) << row.what;
        EXPECT_EQ(read(layout().savedStateFileURL()), QByteArray("state two")) << row.what;
        EXPECT_EQ(read(layout().snapshotTimelineURL()), timeline) << row.what;
    }
    EXPECT_FALSE(bundleLog().contains(QStringLiteral("Restored")));
}

TEST_F(VMSnapshotServiceTest, PathsFromTheTimelineMayNotLeaveTheBundle)
{
    write(m_home.path() + QStringLiteral("/Other.vm/Disk.img"), "someone else's disk");
    write(m_home.path() + QStringLiteral("/secret"), "not a machine state");
    const VMSnapshot taken = m_snapshots.createSnapshot(m_bundle, QStringLiteral("Taken"), QString(), false);

    const struct {
        QString disk;
        QString state;
    } table[] = {
        {QStringLiteral("../Other.vm/Disk.img"), QString()},
        {m_home.path() + QStringLiteral("/Other.vm/Disk.img"), QString()},
        {taken.diskRelativePath, QStringLiteral("../secret")},
        {taken.diskRelativePath, m_home.path() + QStringLiteral("/secret")},
    };
    for (const auto &row : table) {
        VMSnapshotTimeline timeline = m_snapshots.loadTimeline(m_bundle);
        timeline.snapshots[0].diskRelativePath = row.disk;
        timeline.snapshots[0].stateRelativePath = row.state;
        m_snapshots.saveTimeline(timeline, m_bundle);

        const VirtualMachineError error = thrownVirtualMachineError([&] { m_snapshots.restoreSnapshot(taken.id, m_bundle); });
        EXPECT_EQ(error.errorCase(), VirtualMachineError::Case::invalidBundle) << row.disk.toStdString() << row.state.toStdString();
        EXPECT_EQ(diskMarker(), QByteArray("disk one"));
        EXPECT_FALSE(QFileInfo::exists(layout().savedStateFileURL()));
    }
}

TEST_F(VMSnapshotServiceTest, AFailedRestoreCopyLeavesTheOldDiskAndState)
{
    write(layout().savedStateFileURL(), "state one");
    const VMSnapshot broken = m_snapshots.createSnapshot(m_bundle, QStringLiteral("Broken"), QString(), false);
    const QByteArray timeline = read(layout().snapshotTimelineURL());
    // A folder where the disk copy belongs: it exists, so the restore starts, but cannot be copied.
    ASSERT_TRUE(QFile::remove(inBundle(broken.diskRelativePath)));
    ASSERT_TRUE(QDir().mkpath(inBundle(broken.diskRelativePath)));
    writeDisk("disk two");
    write(layout().savedStateFileURL(), "state two");

    EXPECT_THROW(m_snapshots.restoreSnapshot(broken.id, m_bundle), PlatformError);
    EXPECT_EQ(diskMarker(), QByteArray("disk two"));
    EXPECT_EQ(read(layout().savedStateFileURL()), QByteArray("state two"));
    EXPECT_EQ(read(layout().snapshotTimelineURL()), timeline);
    EXPECT_TRUE(hiddenLeftovers().isEmpty()) << hiddenLeftovers().join(u' ').toStdString();
}

TEST_F(VMSnapshotServiceTest, DeletingASnapshotRemovesItsSubtreeWithTheirFolders)
{
    // A, B (child of A), C (child of B), D (child of A)
    const VMSnapshot a = m_snapshots.createSnapshot(m_bundle, QStringLiteral("A"), QString(), false);
    const VMSnapshot b = m_snapshots.createSnapshot(m_bundle, QStringLiteral("B"), QString(), false);
    const VMSnapshot c = m_snapshots.createSnapshot(m_bundle, QStringLiteral("C"), QString(), false);
    m_snapshots.restoreSnapshot(a.id, m_bundle);
    const VMSnapshot d = m_snapshots.createSnapshot(m_bundle, QStringLiteral("D"), QString(), false);
    m_snapshots.restoreSnapshot(c.id, m_bundle);

    const QByteArray before = read(layout().snapshotTimelineURL());
    const QString logBefore = bundleLog();
    m_snapshots.deleteSnapshot(QUuid::createUuid(), m_bundle);
    EXPECT_EQ(read(layout().snapshotTimelineURL()), before);
    EXPECT_EQ(bundleLog(), logBefore);

    m_snapshots.deleteSnapshot(b.id, m_bundle);
    const VMSnapshotTimeline timeline = m_snapshots.loadTimeline(m_bundle);
    EXPECT_EQ(timeline.snapshots, (QList<VMSnapshot>{a, d}));
    EXPECT_FALSE(timeline.activeSnapshotID.has_value()); // C was active and went with B
    EXPECT_FALSE(QFileInfo::exists(snapshotFolder(b)));
    EXPECT_FALSE(QFileInfo::exists(snapshotFolder(c)));
    EXPECT_TRUE(QFileInfo::exists(inBundle(a.diskRelativePath)));
    EXPECT_TRUE(QFileInfo::exists(inBundle(d.diskRelativePath)));
    EXPECT_TRUE(bundleLog().contains(QStringLiteral("[Snapshot] Deleted snapshot 'B' for Dev")));

    const VMSnapshot next = m_snapshots.createSnapshot(m_bundle, QStringLiteral("Next"), QString(), false);
    EXPECT_FALSE(next.parentSnapshotID.has_value());
}

TEST_F(VMSnapshotServiceTest, RenamingChangesOnlyTheName)
{
    const VMSnapshot taken = m_snapshots.createSnapshot(m_bundle, QStringLiteral("Taken"), QStringLiteral("notes"), false);
    const QByteArray before = read(layout().snapshotTimelineURL());
    m_snapshots.updateSnapshot(QUuid::createUuid(), QStringLiteral("Nobody"), m_bundle);
    EXPECT_EQ(read(layout().snapshotTimelineURL()), before);

    m_snapshots.updateSnapshot(taken.id, QString(), m_bundle);
    VMSnapshot expected = taken;
    expected.name = QString();
    EXPECT_EQ(m_snapshots.loadTimeline(m_bundle).snapshots, QList<VMSnapshot>{expected});
    EXPECT_FALSE(bundleLog().contains(QStringLiteral("Nobody")));
}

TEST_F(VMSnapshotServiceTest, AnUnreadableTimelineIsSetAsideNeverOverwritten)
{
    const VMSnapshot earlier = m_snapshots.createSnapshot(m_bundle, QStringLiteral("Earlier"), QString(), false);
    QByteArray damaged = read(layout().snapshotTimelineURL());
    damaged.replace("isAutoSnapshot", "isAutomatic");
    write(layout().snapshotTimelineURL(), damaged);

    EXPECT_EQ(m_snapshots.loadTimeline(m_bundle), VMSnapshotTimeline{});
    EXPECT_THROW(m_snapshots.restoreSnapshot(earlier.id, m_bundle), VirtualMachineError);
    m_snapshots.updateSnapshot(earlier.id, QStringLiteral("Renamed"), m_bundle);
    EXPECT_EQ(read(layout().snapshotTimelineURL()), damaged);

    const VMSnapshot later = m_snapshots.createSnapshot(m_bundle, QStringLiteral("Later"), QString(), false);
    EXPECT_EQ(m_snapshots.loadTimeline(m_bundle).snapshots, QList<VMSnapshot>{later});
    const QStringList aside = QDir(layout().snapshotsDirectoryURL()).entryList({QStringLiteral("Timeline.json.unreadable-*")}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Timeline\\.json\\.unreadable-\\d{8}T\\d{6}Z$")).match(aside.first()).hasMatch()) << aside.first().toStdString();
    EXPECT_EQ(read(layout().snapshotsDirectoryURL() + QLatin1Char('/') + aside.first()), damaged);
    EXPECT_TRUE(bundleLog().contains(QStringLiteral("[Snapshot] Moved the unreadable snapshot timeline aside as ") + aside.first()));
}

TEST_F(VMSnapshotServiceTest, TheTasksDoTheSameWorkAndReportFailuresAsThemselves)
{
    const VMSnapshot taken = waitForOutcome(m_snapshots.createSnapshotAsync(m_bundle, QStringLiteral("Async"), QString(), true)).get();
    EXPECT_TRUE(taken.isAutoSnapshot);
    EXPECT_EQ(read(inBundle(taken.diskRelativePath)), read(layout().diskImageURL()));
    EXPECT_EQ(m_snapshots.loadTimeline(m_bundle).snapshots, QList<VMSnapshot>{taken});

    writeDisk("disk two");
    waitForOutcome(m_snapshots.restoreSnapshotAsync(taken.id, m_bundle)).get();
    EXPECT_EQ(diskMarker(), QByteArray("disk one"));

    writeDisk("disk two");
    ASSERT_TRUE(QFile::remove(inBundle(taken.diskRelativePath)));
    ASSERT_TRUE(QDir().mkpath(inBundle(taken.diskRelativePath)));
    EXPECT_THROW(waitForOutcome(m_snapshots.restoreSnapshotAsync(taken.id, m_bundle)).get(), PlatformError);
    EXPECT_THROW(waitForOutcome(m_snapshots.restoreSnapshotAsync(QUuid::createUuid(), m_bundle)).get(), VirtualMachineError);
    EXPECT_EQ(diskMarker(), QByteArray("disk two"));
}

TEST_F(VMSnapshotServiceTest, ARestoreCutShortNeverPairsADiskWithAnotherDisksState)
{
    write(layout().savedStateFileURL(), "state one");
    const VMSnapshot withState = m_snapshots.createSnapshot(m_bundle, QStringLiteral("Suspended"), QString(), false);
    QFile::remove(layout().savedStateFileURL());
    const VMSnapshot cold = m_snapshots.createSnapshot(m_bundle, QStringLiteral("Cold"), QString(), false);

    for (const VMSnapshot &snapshot : {withState, cold}) {
        int step = 1;
        for (;; ++step) {
            writeDisk("disk two");
            write(layout().savedStateFileURL(), "state two");
            const auto outcome = InterruptedWrite::runUntil(step, [&] { m_snapshots.restoreSnapshot(snapshot.id, m_bundle); });
            ASSERT_NE(outcome, InterruptedWrite::Outcome::failed) << snapshot.name.toStdString() << step;
            const QByteArray disk = diskMarker();
            const QByteArray state = QFileInfo::exists(layout().savedStateFileURL()) ? read(layout().savedStateFileURL()) : QByteArray("none");
            const QByteArray expectedState = snapshot.id == withState.id ? "state one" : "none";
            const bool oldPair = disk == "disk two" && (state == "state two" || state == "none");
            const bool newPair = disk == "disk one" && (state == expectedState || state == "none");
            EXPECT_TRUE(oldPair || newPair) << snapshot.name.toStdString() << " stopped before step " << step << ": " << disk.toStdString() << " with "
                                            << state.toStdString();
            if (outcome == InterruptedWrite::Outcome::completed) {
                EXPECT_EQ(disk, QByteArray("disk one"));
                EXPECT_EQ(state, expectedState);
                break;
            }
        }
        EXPECT_GT(step, 2);
    }
}

TEST_F(VMSnapshotServiceTest, ARestoreMovesTheProtectionMirrorToTheNewDisk)
{
    const VMSnapshot first = m_snapshots.createSnapshot(m_bundle, QStringLiteral("First"), QString(), false);
    writeDisk("disk two");
    const ProtectionMirror mirror(m_logging);
    mirror.refreshProtection(m_bundle);
    const QString mirroredDisk = ProtectionMirror::mirrorURL(m_bundle.bundleURL) + QStringLiteral("/Disk.img");
    ASSERT_TRUE(FileOperations::isSameFile(layout().diskImageURL(), mirroredDisk));

    m_snapshots.restoreSnapshot(first.id, m_bundle);

    EXPECT_TRUE(FileOperations::isSameFile(layout().diskImageURL(), mirroredDisk));
    EXPECT_EQ(read(mirroredDisk).left(8), QByteArray("disk one"));
}

TEST_F(VMSnapshotServiceTest, LinkedSnapshotFoldersNeverLeadOutOfTheBundle)
{
    const QString outside = m_home.path() + QStringLiteral("/outside");
    const VMSnapshot taken = m_snapshots.createSnapshot(m_bundle, QStringLiteral("Taken"), QString(), false);
    const QString id = taken.id.toString(QUuid::WithoutBraces).toUpper();
    write(outside + QStringLiteral("/") + id + QStringLiteral("/Disk.img"), "outside disk");
    write(outside + QStringLiteral("/") + id + QStringLiteral("/user file"), "keep me");
    write(outside + QStringLiteral("/Timeline.json"), read(layout().snapshotTimelineURL()));

    // The snapshot's own folder is a link: restoring refuses to read through it.
    QDir(snapshotFolder(taken)).removeRecursively();
    TestFiles::makeLink(outside + QStringLiteral("/") + id, snapshotFolder(taken));
    EXPECT_TRUE(
        throwsVirtualMachineError([&] { m_snapshots.restoreSnapshot(taken.id, m_bundle); }, VirtualMachineError::Case::invalidBundle));
    EXPECT_EQ(diskMarker(), QByteArray("disk one"));

    // Deleting it unlinks the link and leaves what it pointed to.
    m_snapshots.deleteSnapshot(taken.id, m_bundle);
    EXPECT_EQ(read(outside + QStringLiteral("/") + id + QStringLiteral("/user file")), QByteArray("keep me"));

    // The whole Snapshots folder is a link: it names no snapshot, and a new one is made in a folder of the bundle's own.
    QDir(layout().snapshotsDirectoryURL()).removeRecursively();
    TestFiles::makeLink(outside, layout().snapshotsDirectoryURL());
    EXPECT_TRUE(m_snapshots.loadTimeline(m_bundle).snapshots.isEmpty());
    m_snapshots.deleteSnapshot(taken.id, m_bundle);
    EXPECT_EQ(read(outside + QStringLiteral("/") + id + QStringLiteral("/user file")), QByteArray("keep me"));
    const VMSnapshot fresh = m_snapshots.createSnapshot(m_bundle, QStringLiteral("Fresh"), QString(), false);
    EXPECT_FALSE(QFileInfo(layout().snapshotsDirectoryURL()).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(inBundle(fresh.diskRelativePath)));
    EXPECT_EQ(QDir(outside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), (QStringList{id, QStringLiteral("Timeline.json")}));
}
