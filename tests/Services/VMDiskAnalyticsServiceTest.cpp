// SPDX-License-Identifier: MIT
#include "TestFiles.h"
#include "TestBundle.h"
#include "VMDiskAnalyticsService.h"

#include "DiskImageService.h"
#include "FileMeasurements.h"
#include "FileOperations.h"
#include "FileSystemTraps.h"
#include "JSONCoding.h"
#include "LoggingService.h"
#include "PlatformError.h"
#include "QtPrinters.h"
#include "TemporaryHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <cerrno>
#include <initializer_list>

namespace {

using TestFiles::read;

constexpr qint64 diskLength = 16 * 1024 * 1024;
constexpr quint64 GB = 1'000'000'000ULL;

/// A bundle folder "Build Box.vm" in a temporary home, a fixed clock and a free-space figure the test sets.
class VMDiskAnalyticsServiceTest : public ::testing::Test
{
protected:
    VMDiskAnalyticsServiceTest()
    {
        m_bundle = TestBundle(m_home.path() + QStringLiteral("/Build Box.vm")).disk(68'719'476'736ULL);
        QDir().mkpath(m_bundle.bundleURL);
    }

    QString inBundle(const QString &relative) const { return m_bundle.bundleURL + QLatin1Char('/') + relative; }
    QString outside(const QString &relative) const { return m_home.path() + QStringLiteral("/outside/") + relative; }
    VMBundle::Layout layout() const { return m_bundle.layout(); }

    /// Writes `size` bytes of data, so the file takes real space on the host.
    static void write(const QString &path, qint64 size) { TestFiles::write(path, QByteArray(size, 'x')); }
    static void write(const QString &path, const QByteArray &content) { TestFiles::write(path, content); }

    static void link(const QString &target, const QString &path)
    {
        QDir().mkpath(QFileInfo(path).path());
        ASSERT_TRUE(QFile::link(target, path)) << path.toStdString();
    }

    static QStringList entries(const QString &folder)
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }

    /// The allocated bytes of the items, each taken as itself.
    static quint64 allocated(std::initializer_list<QString> paths)
    {
        quint64 sum = 0;
        for (const QString &path : paths)
            sum += FileMeasurements::allocatedSize(path);
        return sum;
    }

    /// A sparse disk image: 8 KiB of data, a hole, and three bytes at the end.
    void writeDisk() const
    {
        QFile file(layout().diskImageURL());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray(8192, 'd'));
        file.seek(diskLength - 3);
        file.write("end");
    }

    void writeHistory(const VMDiskGrowthHistory &history) const { write(layout().diskGrowthHistoryURL(), sharedJSONEncoder().encode(history)); }
    VMDiskGrowthHistory storedHistory() const { return sharedJSONDecoder().decode<VMDiskGrowthHistory>(read(layout().diskGrowthHistoryURL())); }
    QString bundleLog() const { return QString::fromUtf8(read(layout().logsDirectoryURL() + QStringLiteral("/duvuzodovevav.log"))); }
    QString appLog() const { return QString::fromUtf8(read(m_home.applicationData() + QStringLiteral("/Logs/app.log"))); }

    TemporaryHome m_home;
    LoggingService m_logging;
    DiskImageService m_disks;
    const QDateTime m_now{QDate(2026, 4, 2), QTime(10, 30), QTimeZone::utc()};
    quint64 m_freeSpace = 0;
    bool m_freeSpaceFails = false;
    QStringList m_freeSpaceAskedFor;
    VMDiskAnalyticsService m_analytics{m_disks, m_logging, [this] { return m_now; },
                                       [this](const QString &path) {
                                           m_freeSpaceAskedFor << path;
                                           if (m_freeSpaceFails)
                                               throw PlatformError::posix(EIO, path);
                                           return m_freeSpace;
                                       }};
    VMBundle m_bundle;
};

} // namespace

// ---- Measuring ---------------------------------------------------------------

TEST_F(VMDiskAnalyticsServiceTest, BreakdownCountsEachItemOnceUnderTheFolderItLiesIn)
{
    writeDisk();
    const QString snapshotDisk = inBundle(QStringLiteral("Snapshots/A1/Disk.img"));
    const QString timeline = inBundle(QStringLiteral("Snapshots/Timeline.json"));
    const QString savedState = inBundle(QStringLiteral("SavedState/MachineState.bin"));
    const QString request = inBundle(QStringLiteral("Automation/Requests/R.json"));
    const QString escape = inBundle(QStringLiteral("Automation/escape"));
    const QString restoreRecord = inBundle(QStringLiteral("RestoreImages/RestoreImage.json"));
    const QString restoreImage = inBundle(QStringLiteral("RestoreImages/Restore.iso"));
    const QString log = inBundle(QStringLiteral("Logs/duvuzodovevav.log"));
    const QString metadata = inBundle(QStringLiteral("Metadata.json"));
    const QString auxiliary = inBundle(QStringLiteral("AuxiliaryStorage"));
    const QString manifest = inBundle(QStringLiteral("Bootstrap/manifest.json"));
    const QString history = inBundle(QStringLiteral("DiskGrowthHistory.json"));
    const QString logsNamedFile = inBundle(QStringLiteral("Bootstrap/Logs"));
    write(snapshotDisk, 20'000);
    write(timeline, 100);
    write(savedState, 30'000);
    write(request, 5'000);
    write(outside(QStringLiteral("big")), 1'000'000);
    link(outside(QStringLiteral("big")), escape);
    write(restoreRecord, 200);
    write(restoreImage, 40'000);
    write(log, 1'500'000);
    write(metadata, 300);
    write(auxiliary, 60'000);
    write(manifest, 100);
    write(history, 10);
    write(logsNamedFile, 9'000);
    // Hidden items, counted nowhere.
    const QString hidden[] = {inBundle(QStringLiteral(".Metadata.json.tmp")), inBundle(QStringLiteral("Logs/.old")),
                              inBundle(QStringLiteral("Snapshots/.partial/Disk.img")), inBundle(QStringLiteral(".cache/blob"))};
    for (const QString &path : hidden) {
        write(path, 70'000);
        ASSERT_GT(FileMeasurements::allocatedSize(path), 0U);
    }

    const VMDiskAnalytics analytics = m_analytics.breakdown(m_bundle);
    const VMDiskAnalytics expected{
        quint64(diskLength),
        allocated({layout().diskImageURL()}),
        allocated({snapshotDisk, timeline}),
        allocated({savedState}),
        allocated({request, escape}),
        allocated({restoreRecord, restoreImage}),
        allocated({log}),
        allocated({metadata, auxiliary, manifest, history, logsNamedFile}),
        m_now,
    };
    EXPECT_EQ(analytics, expected);
    EXPECT_LT(analytics.hostAllocatedBytes, quint64(diskLength));
    EXPECT_LT(analytics.automationBytes, 1'000'000U) << "the link was measured as its target";

    // The same walk gives the recommendations; logs of 1.5 MB qualify.
    EXPECT_EQ(m_analytics.recommendations(m_bundle.bundleURL), analytics.recommendations());
    EXPECT_EQ(m_analytics.recommendations(m_bundle.bundleURL).size(), 3);

    EXPECT_EQ(VMDiskAnalyticsService::allocatedSize(layout().snapshotsDirectoryURL()), expected.snapshotUsageBytes);
    EXPECT_EQ(VMDiskAnalyticsService::allocatedSize(m_bundle.bundleURL),
              expected.hostAllocatedBytes + expected.snapshotUsageBytes + expected.savedStateBytes + expected.automationBytes
                  + expected.restoreImageBytes + expected.logBytes + expected.otherBytes);
    link(outside({}), inBundle(QStringLiteral("linked-folder")));
    for (const QString &location : {layout().diskImageURL(), escape, inBundle(QStringLiteral("linked-folder")), inBundle(QStringLiteral("missing"))})
        EXPECT_EQ(VMDiskAnalyticsService::allocatedSize(location), 0U) << location.toStdString();
}

TEST_F(VMDiskAnalyticsServiceTest, WithoutADiskImageTheMetadataCapacityStandsAndNoSampleIsTaken)
{
    write(inBundle(QStringLiteral("Metadata.json")), 300);
    const VMDiskAnalytics analytics = m_analytics.breakdown(m_bundle);
    EXPECT_EQ(analytics.virtualCapacityBytes, m_bundle.metadata.diskSizeBytes);
    EXPECT_EQ(analytics.hostAllocatedBytes, 0U);
    EXPECT_EQ(analytics.otherBytes, allocated({inBundle(QStringLiteral("Metadata.json"))}));
    EXPECT_TRUE(m_analytics.recommendations(m_bundle.bundleURL).isEmpty());

    m_analytics.recordGrowth(m_bundle.bundleURL);
    EXPECT_FALSE(QFile::exists(layout().diskGrowthHistoryURL()));
    write(layout().diskGrowthHistoryURL(), QByteArray("not json"));
    m_analytics.recordGrowth(m_bundle.bundleURL);
    EXPECT_EQ(read(layout().diskGrowthHistoryURL()), QByteArray("not json"));

    // A bundle that has gone measures as empty and takes no sample.
    const VMBundle gone{m_home.path() + QStringLiteral("/Gone.vm"), m_bundle.metadata, {}, {}};
    EXPECT_EQ(m_analytics.breakdown(gone).otherBytes, 0U);
    m_analytics.recordGrowth(gone.bundleURL);
    EXPECT_FALSE(QFile::exists(gone.bundleURL));
}

// ---- Growth history ----------------------------------------------------------

TEST_F(VMDiskAnalyticsServiceTest, RecordingGrowthKeepsOneSampleADayAndAYear)
{
    writeDisk();
    const VMDiskGrowthSample now{m_now, allocated({layout().diskImageURL()})};

    m_analytics.recordGrowth(m_bundle.bundleURL);
    EXPECT_EQ(storedHistory(), (VMDiskGrowthHistory{{now}}));
    m_analytics.recordGrowth(m_bundle.bundleURL);
    EXPECT_EQ(storedHistory(), (VMDiskGrowthHistory{{now}})) << "a second measurement the same day replaces the first";

    // A damaged file gives way to a fresh history.
    write(layout().diskGrowthHistoryURL(), QByteArray("{\"samples\": [oops"));
    EXPECT_EQ(m_analytics.growthHistory(m_bundle.bundleURL), VMDiskGrowthHistory{});
    m_analytics.recordGrowth(m_bundle.bundleURL);
    EXPECT_EQ(storedHistory(), (VMDiskGrowthHistory{{now}}));

    VMDiskGrowthHistory year;
    for (qint64 day = 0; day < 365; ++day)
        year.samples.append({m_now.addDays(day - 365), quint64(day)});
    writeHistory(year);
    m_analytics.recordGrowth(m_bundle.bundleURL);
    const VMDiskGrowthHistory kept = m_analytics.growthHistory(m_bundle.bundleURL);
    ASSERT_EQ(kept.samples.size(), 365);
    EXPECT_EQ(kept.samples.constFirst(), year.samples.at(1));
    EXPECT_EQ(kept.samples.constLast(), now);

    // The pane measures on every showing of the VM: a busy day must not push the year out.
    for (int showing = 0; showing < 10; ++showing)
        m_analytics.recordGrowth(m_bundle.bundleURL);
    EXPECT_EQ(m_analytics.growthHistory(m_bundle.bundleURL), kept);
}

TEST_F(VMDiskAnalyticsServiceTest, AHistoryThatCannotBeWrittenOrReadFailsNobody)
{
    writeDisk();
    QDir().mkpath(layout().diskGrowthHistoryURL());
    EXPECT_NO_THROW(m_analytics.recordGrowth(m_bundle.bundleURL));
    EXPECT_TRUE(QFileInfo(layout().diskGrowthHistoryURL()).isDir());
    EXPECT_EQ(m_analytics.growthHistory(m_bundle.bundleURL), VMDiskGrowthHistory{});
    EXPECT_EQ(m_analytics.estimatedDaysUntilHostFull(m_bundle.bundleURL), std::nullopt);
}

TEST_F(VMDiskAnalyticsServiceTest, DaysUntilFullUseTheFreeSpaceOfTheBundlesVolume)
{
    const VMDiskGrowthHistory tenDays{{{m_now.addDays(-10), 0}, {m_now, 50 * GB}}};
    const struct {
        const char *name;
        std::optional<VMDiskGrowthHistory> stored;
        quint64 freeSpace;
        bool freeSpaceFails;
        std::optional<double> days;
    } table[] = {
        {"500 GB free, 5 GB a day", tenDays, 500 * GB, false, 100.0},
        {"no free-space figure", tenDays, 0, false, std::nullopt},
        {"free space unreadable", tenDays, 500 * GB, true, std::nullopt},
        {"no history", std::nullopt, 500 * GB, false, std::nullopt},
        {"no growth", VMDiskGrowthHistory{{{m_now.addDays(-10), 50 * GB}, {m_now, 0}}}, 500 * GB, false, std::nullopt},
    };
    for (const auto &row : table) {
        QFile::remove(layout().diskGrowthHistoryURL());
        if (row.stored)
            writeHistory(*row.stored);
        m_freeSpace = row.freeSpace;
        m_freeSpaceFails = row.freeSpaceFails;
        EXPECT_EQ(m_analytics.estimatedDaysUntilHostFull(m_bundle.bundleURL), row.days) << row.name;
        m_freeSpaceAskedFor.clear();
        EXPECT_EQ(m_analytics.hostAvailableCapacityBytes(m_bundle.bundleURL), row.freeSpaceFails ? 0 : row.freeSpace) << row.name;
        EXPECT_EQ(m_freeSpaceAskedFor, QStringList{m_bundle.bundleURL}) << row.name;
    }
}

// ---- Reclaiming --------------------------------------------------------------

TEST_F(VMDiskAnalyticsServiceTest, DeletingRestoreImagesKeepsOnlyTheRecord)
{
    write(inBundle(QStringLiteral("RestoreImages/RestoreImage.json")), QByteArray("{}"));
    write(inBundle(QStringLiteral("RestoreImages/Restore.iso")), 40'000);
    write(inBundle(QStringLiteral("RestoreImages/.partial")), 10);
    write(inBundle(QStringLiteral("RestoreImages/unpacked/kernel")), 10);
    write(outside(QStringLiteral("keep.iso")), QByteArray("mine"));
    link(outside(QStringLiteral("keep.iso")), inBundle(QStringLiteral("RestoreImages/linked.iso")));

    m_analytics.reclaim(ReclaimAction::deleteRestoreImages, m_bundle);
    EXPECT_EQ(entries(layout().restoreImagesDirectoryURL()), QStringList{QStringLiteral("RestoreImage.json")});
    EXPECT_EQ(read(layout().restoreImageInfoURL()), QByteArray("{}"));
    EXPECT_EQ(read(outside(QStringLiteral("keep.iso"))), QByteArray("mine"));
    EXPECT_TRUE(bundleLog().endsWith(QStringLiteral("[DiskAnalytics] Reclaimed space via deleteRestoreImages for Build Box\n"))) << bundleLog().toStdString();
}

TEST_F(VMDiskAnalyticsServiceTest, DeletingSnapshotsRemovesTheFolderButNoLinkTarget)
{
    write(inBundle(QStringLiteral("Snapshots/Timeline.json")), QByteArray("{}"));
    write(inBundle(QStringLiteral("Snapshots/A1/Disk.img")), 20'000);
    write(outside(QStringLiteral("photos/one.jpg")), QByteArray("mine"));
    link(outside(QStringLiteral("photos")), inBundle(QStringLiteral("Snapshots/A1/escape")));

    m_analytics.reclaim(ReclaimAction::deleteSnapshots, m_bundle);
    EXPECT_FALSE(FileOperations::itemExists(layout().snapshotsDirectoryURL()));
    EXPECT_EQ(read(outside(QStringLiteral("photos/one.jpg"))), QByteArray("mine"));
    EXPECT_EQ(bundleLog().count(QStringLiteral("[DiskAnalytics] Reclaimed space via deleteSnapshots for Build Box")), 1);

    // Nothing to remove is no failure, and is logged all the same.
    m_analytics.reclaim(ReclaimAction::deleteSnapshots, m_bundle);
    EXPECT_EQ(bundleLog().count(QStringLiteral("[DiskAnalytics] Reclaimed space via deleteSnapshots for Build Box")), 2);

    // A linked Snapshots folder loses the link only.
    link(outside(QStringLiteral("photos")), layout().snapshotsDirectoryURL());
    m_analytics.reclaim(ReclaimAction::deleteSnapshots, m_bundle);
    EXPECT_FALSE(FileOperations::itemExists(layout().snapshotsDirectoryURL()));
    EXPECT_EQ(entries(outside(QStringLiteral("photos"))), QStringList{QStringLiteral("one.jpg")});
}

TEST_F(VMDiskAnalyticsServiceTest, ClearingLogsEmptiesTheFolderAndStartsANewLog)
{
    m_logging.log(QStringLiteral("an old line"), QStringLiteral("Test"), m_bundle.bundleURL);
    write(inBundle(QStringLiteral("Logs/qemu.log")), 2'000'000);
    write(inBundle(QStringLiteral("Logs/.hidden")), 10);
    write(outside(QStringLiteral("notes.txt")), QByteArray("mine"));
    link(outside(QStringLiteral("notes.txt")), inBundle(QStringLiteral("Logs/notes.txt")));

    m_analytics.reclaim(ReclaimAction::clearLogs, m_bundle);
    EXPECT_EQ(entries(layout().logsDirectoryURL()), QStringList{QStringLiteral("duvuzodovevav.log")});
    EXPECT_TRUE(bundleLog().endsWith(QStringLiteral("] [DiskAnalytics] Reclaimed space via clearLogs for Build Box\n")));
    EXPECT_EQ(bundleLog().count(QLatin1Char('\n')), 1);
    EXPECT_EQ(read(outside(QStringLiteral("notes.txt"))), QByteArray("mine"));
}

TEST_F(VMDiskAnalyticsServiceTest, ALinkInPlaceOfAnEmptiedFolderIsRefused)
{
    write(outside(QStringLiteral("documents/letter.txt")), QByteArray("mine"));
    write(outside(QStringLiteral("documents/RestoreImage.json")), QByteArray("mine too"));
    const struct {
        ReclaimAction action;
        QString folder;
    } table[] = {
        {ReclaimAction::deleteRestoreImages, layout().restoreImagesDirectoryURL()},
        {ReclaimAction::clearLogs, layout().logsDirectoryURL()},
    };
    for (const auto &row : table) {
        link(outside(QStringLiteral("documents")), row.folder);
        try {
            m_analytics.reclaim(row.action, m_bundle);
            ADD_FAILURE() << "no failure for " << toRaw(row.action).toStdString();
        } catch (const PlatformError &error) {
            EXPECT_EQ(error.code(), ENOTDIR) << error.what();
            EXPECT_EQ(error.path(), row.folder);
        }
        EXPECT_EQ(entries(outside(QStringLiteral("documents"))), (QStringList{QStringLiteral("RestoreImage.json"), QStringLiteral("letter.txt")}));
        QFile::remove(row.folder);
    }
    EXPECT_FALSE(appLog().contains(QStringLiteral("Reclaimed")));
    EXPECT_FALSE(bundleLog().contains(QStringLiteral("Reclaimed")));
}

TEST_F(VMDiskAnalyticsServiceTest, AFailedRemovalStopsTheActionUnlogged)
{
    write(inBundle(QStringLiteral("Logs/locked.log")), 10);
    const FileSystemTraps::ImmutableFile locked(inBundle(QStringLiteral("Logs/locked.log")));
    if (!locked.isSet())
        GTEST_SKIP() << "cannot mark a file immutable here";

    EXPECT_THROW(m_analytics.reclaim(ReclaimAction::clearLogs, m_bundle), PlatformError);
    EXPECT_TRUE(QFile::exists(inBundle(QStringLiteral("Logs/locked.log"))));
    EXPECT_FALSE(bundleLog().contains(QStringLiteral("Reclaimed")));
    EXPECT_FALSE(appLog().contains(QStringLiteral("Reclaimed")));
}
