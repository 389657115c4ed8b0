// SPDX-License-Identifier: MIT
#include "ApplicationProcess.h"
#include "FileOperations.h"
#include "QtPrinters.h"
#include "TemporaryHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <gtest/gtest.h>

namespace {

/// What the hand-written Metadata.json of one Linux guest says about it.
struct GuestRecord {
    QString folder;
    QString name;
    QString createdAt;
    QUuid id = QUuid::createUuid();
    QString runtimeState = QStringLiteral("stopped");
    QString installState = QStringLiteral("notInstalled");
    int sharedFolderCount = 0;
};

/**
 * Metadata.json in the documented form, typed out rather than encoded by the
 * application, so the test fails when the reader and the format part ways:
 * keys sorted, whole-second UTC dates, upper-case identifiers.
 */
QByteArray metadataJSON(const GuestRecord &guest)
{
    return QStringLiteral(R"({
  "bundleName": "%1",
  "cpuCount": 2,
  "createdAt": "%2",
  "diskSizeBytes": 17179869184,
  "firstBootEnabled": false,
  "guestOSType": "linux",
  "hardwareProfile": {
    "cpuCount": 2,
    "diskSizeBytes": 17179869184,
    "displayHeight": 1200,
    "displayPixelsPerInch": 80,
    "displayWidth": 1920,
    "memorySizeBytes": 4294967296
  },
  "hasSavedState": false,
  "id": "%3",
  "installSource": {
    "kind": "latestSupportedAutomatic"
  },
  "installState": "%4",
  "mediaConfiguration": {
    "isMicrophoneEnabled": false,
    "isSpeakerEnabled": true
  },
  "memorySizeBytes": 4294967296,
  "name": "%5",
  "networkConfiguration": {
    "mode": "nat"
  },
  "runtimeState": "%6",
  "schemaVersion": 2,
  "sharedFolderCount": %7,
  "updatedAt": "%2"
})")
        .arg(guest.folder, guest.createdAt, guest.id.toString(QUuid::WithoutBraces).toUpper(), guest.installState, guest.name,
             guest.runtimeState, QString::number(guest.sharedFolderCount))
        .toUtf8();
}

/// SharedFolders.json with one writable folder and no bookmark.
QByteArray sharedFoldersJSON(const QString &folder)
{
    return QStringLiteral(R"([
  {
    "displayName": "%1",
    "id": "%2",
    "isReadOnly": false,
    "localURL": "%3"
  }
])")
        .arg(QFileInfo(folder).fileName(), QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(),
             QString::fromUtf8(QUrl::fromLocalFile(folder).toEncoded()))
        .toUtf8();
}

void write(const QString &path, const QByteArray &content)
{
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path())) << path.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(content), content.size()) << path.toStdString();
}

/// A disk image of `size` bytes that takes next to no space.
void writeSparseFile(const QString &path, qint64 size)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_TRUE(file.resize(size)) << path.toStdString();
}

/// The messages of the log's "Store" lines, in order, without their timestamps.
QStringList storeMessages(const QString &log)
{
    static const QRegularExpression line(QStringLiteral(R"(^\[[^\]]+\] \[Store\] (.*)$)"), QRegularExpression::MultilineOption);
    QStringList messages;
    for (auto match = line.globalMatch(log); match.hasNext();)
        messages << match.next().captured(1);
    return messages;
}

constexpr qint64 diskImageSize = 64 * 1024 * 1024;
constexpr int loadTimeoutMs = 15'000;

} // namespace

/**
 * A library folder made by hand from the documented bundle layout, loaded by
 * the application at launch.
 */
class LibraryLaunchTest : public ::testing::Test
{
protected:
    QString root() const { return m_home.applicationData() + QStringLiteral("/VirtualMachines"); }
    QString bundle(const QString &folder) const { return root() + QLatin1Char('/') + folder; }
    QString mirror(const QString &folder) const { return root() + QStringLiteral("/.DuvuzodOvevavProtection/") + folder; }
    QString bundleLog(const QString &folder) const { return ApplicationProcess::read(bundle(folder) + QStringLiteral("/Logs/duvuzodovevav.log")); }

    /// A bundle folder with its standard subfolders, its Metadata.json and no shared folders.
    void makeBundle(const GuestRecord &guest) const
    {
        for (const QString &folder : {QStringLiteral("SavedState"), QStringLiteral("Bootstrap"), QStringLiteral("RestoreImages"), QStringLiteral("Logs")})
            ASSERT_TRUE(QDir().mkpath(bundle(guest.folder) + QLatin1Char('/') + folder));
        write(bundle(guest.folder) + QStringLiteral("/Metadata.json"), metadataJSON(guest));
        write(bundle(guest.folder) + QStringLiteral("/SharedFolders.json"), "[]");
    }

    TemporaryHome m_home;
};

TEST_F(LibraryLaunchTest, LoadsAHandMadeLibraryAndLogsEachRepairAndSkip)
{
    const GuestRecord fresh{.folder = QStringLiteral("Alpha.vm"), .name = QStringLiteral("Alpha"), .createdAt = QStringLiteral("2026-01-04T09:00:00Z")};
    makeBundle(fresh);

    const GuestRecord installed{.folder = QStringLiteral("Bravo.vm"),
                                .name = QStringLiteral("Bravo"),
                                .createdAt = QStringLiteral("2026-01-03T09:00:00Z"),
                                .installState = QStringLiteral("installed"),
                                .sharedFolderCount = 1};
    makeBundle(installed);
    write(bundle(installed.folder) + QStringLiteral("/SharedFolders.json"), sharedFoldersJSON(m_home.path() + QStringLiteral("/Projects")));
    writeSparseFile(bundle(installed.folder) + QStringLiteral("/Disk.img"), diskImageSize);

    // The application ended while this VM ran.
    const GuestRecord running{.folder = QStringLiteral("Charlie.vm"),
                              .name = QStringLiteral("Charlie"),
                              .createdAt = QStringLiteral("2026-01-02T09:00:00Z"),
                              .runtimeState = QStringLiteral("running")};
    makeBundle(running);
    const QString runningMetadata = ApplicationProcess::read(bundle(running.folder) + QStringLiteral("/Metadata.json"));

    // Saved once, so its mirror holds copies of the JSON files and the only remaining name of its disk;
    // then its Metadata.json and Disk.img were deleted.
    const GuestRecord damaged{.folder = QStringLiteral("Delta.vm"),
                              .name = QStringLiteral("Delta"),
                              .createdAt = QStringLiteral("2026-01-01T09:00:00Z"),
                              .installState = QStringLiteral("installed")};
    makeBundle(damaged);
    ASSERT_TRUE(QFile::remove(bundle(damaged.folder) + QStringLiteral("/Metadata.json")));
    write(mirror(damaged.folder) + QStringLiteral("/Metadata.json"), metadataJSON(damaged));
    write(mirror(damaged.folder) + QStringLiteral("/SharedFolders.json"), "[]");
    writeSparseFile(mirror(damaged.folder) + QStringLiteral("/Disk.img"), diskImageSize);

    // Only the extension makes it a candidate.
    ASSERT_TRUE(QDir().mkpath(bundle(QStringLiteral("Echo.vm"))));

    // A copy of Alpha that sorts after it by folder name.
    GuestRecord copy = fresh;
    copy.folder = QStringLiteral("Zulu.vm");
    makeBundle(copy);

    ApplicationProcess application(m_home);
    ASSERT_TRUE(application.waitForStarted());
    const QString appLog =
        application.waitForFile(m_home.applicationData() + QStringLiteral("/Logs/app.log"), QStringLiteral("] [Store] Loaded "), loadTimeoutMs);
    application.stop();
    ASSERT_FALSE(appLog.isEmpty()) << "no library load within " << loadTimeoutMs << " ms:\n" << application.output().toStdString();

    const QString loaded = QStringLiteral("Loaded 4 VM bundle(s) from ") + root();
    const QStringList expectedStoreLines{
        QStringLiteral("Skipping invalid bundle at Echo.vm: A required VM file is missing: Metadata.json"),
        QStringLiteral("Skipping duplicate VM identifier for Alpha at ") + bundle(copy.folder),
        loaded,
    };
    EXPECT_EQ(storeMessages(appLog), expectedStoreLines) << appLog.toStdString();
    EXPECT_TRUE(appLog.endsWith(loaded + QLatin1Char('\n'))) << appLog.toStdString();

    // The reset is logged to the bundle itself and not written back: the next save stores it.
    EXPECT_EQ(storeMessages(bundleLog(running.folder)),
              QStringList{QStringLiteral("Reset transient runtime state for Charlie from running to stopped during library load")});
    EXPECT_EQ(ApplicationProcess::read(bundle(running.folder) + QStringLiteral("/Metadata.json")), runningMetadata);

    EXPECT_EQ(storeMessages(bundleLog(damaged.folder)), QStringList{QStringLiteral("Recovered protected VM bundle files for Delta.vm")});
    EXPECT_EQ(ApplicationProcess::read(bundle(damaged.folder) + QStringLiteral("/Metadata.json")), QString::fromUtf8(metadataJSON(damaged)));
    EXPECT_TRUE(FileOperations::isSameFile(bundle(damaged.folder) + QStringLiteral("/Disk.img"), mirror(damaged.folder) + QStringLiteral("/Disk.img")));

    // Bundles that load as stored get no store lines (the launch then prepares their guest folders, which it may log),
    // and the scan leaves the invalid folder as it was.
    for (const QString &quiet : {fresh.folder, installed.folder, copy.folder})
        EXPECT_EQ(storeMessages(bundleLog(quiet)), QStringList{}) << quiet.toStdString();
    EXPECT_EQ(QDir(bundle(QStringLiteral("Echo.vm"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{});
}
