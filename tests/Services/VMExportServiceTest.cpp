// SPDX-License-Identifier: MIT
#include "VMExportService.h"

#include "../platform/SparseTestFile.h"
#include "../platform/ZipArchiveContents.h"
#include "BusyThreadPool.h"
#include "DirectoryWalk.h"
#include "FileOperations.h"
#include "PlatformError.h"
#include "RawNames.h"
#include "StoreTestFixture.h"
#include "TaskOutcome.h"
#include "VirtualMachineError.h"
#include "VirtualMachineErrorExpectation.h"
#include "WithoutAccessOverride.h"
#include "FileSystemTraps.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <archive.h>
#include <archive_entry.h>

#include <locale.h>
#include <sys/stat.h>

#include <optional>

namespace {

constexpr off_t diskLength = 64LL << 20;

/// One published progress value, flattened so that sequences compare as text.
QString describe(const VMExportProgress &progress)
{
    switch (progress.kind()) {
    case VMExportProgress::Kind::copying:
        return QStringLiteral("copying %1").arg(*progress.fractionComplete());
    case VMExportProgress::Kind::compressing:
        return QStringLiteral("compressing %1").arg(*progress.fractionComplete());
    case VMExportProgress::Kind::completed:
        return QStringLiteral("completed ") + *progress.location();
    case VMExportProgress::Kind::failed:
        return QStringLiteral("failed ") + *progress.failureReason();
    case VMExportProgress::Kind::preparing:
        return QStringLiteral("preparing");
    case VMExportProgress::Kind::finalizing:
        return QStringLiteral("finalizing");
    }
    return {};
}

class VMExportServiceTest : public StoreTest
{
protected:
    VMExportServiceTest()
    {
        QObject::connect(&m_service, &VMExportService::exportProgressChanged,
                         [this] { m_published << describe(*m_service.exportProgress()); });
        QDir().mkpath(destination());
    }

    QString destination() const { return outside(QStringLiteral("exports")); }

    /// A library bundle with a sparse disk and something in every part an export may leave out.
    VMBundle fullBundle(const QString &name = QStringLiteral("Source"))
    {
        const VMBundle bundle = savedBundle(name);
        const VMBundle::Layout layout = bundle.layout();
        SparseTestFile::write(layout.diskImageURL(), diskLength,
                              {{0, QByteArrayLiteral("BEGIN")},
                               {diskLength / 2, QByteArray(300'000, 'x')},
                               {diskLength - 3, QByteArrayLiteral("END")}});
        write(layout.snapshotTimelineURL(), "{}");
        write(layout.snapshotsDirectoryURL() + QStringLiteral("/One/Disk.img"), "snapshot");
        for (const char *file : {"image.ipsw", "image.IPSW", "notes.txt"})
            write(layout.restoreImagesDirectoryURL() + QLatin1Char('/') + QString::fromUtf8(file), "image");
        write(layout.restoreImageInfoURL(), "{}");
        write(layout.logsDirectoryURL() + QStringLiteral("/duvuzodovevav.log"), "line\n");
        write(layout.savedStateFileURL(), "state");
        write(bundle.bundleURL + QStringLiteral("/.hidden"), "dot");
        return bundle;
    }

    /// The items below `folder`, as sorted relative paths with "/" after folders.
    static QStringList tree(const QString &folder)
    {
        QStringList items;
        DirectoryWalk::forEachItemBelow(folder, {}, [&](const DirectoryWalk::Item &item) {
            items << item.path.mid(folder.size() + 1) + (S_ISDIR(item.status.st_mode) ? QStringLiteral("/") : QString());
        });
        items.sort();
        return items;
    }

    /// The result of a finished export.
    static QString finished(QCoro::Task<QString> task) { return waitForOutcome(std::move(task)).get(); }

    static QString failureOf(QCoro::Task<QString> task, VirtualMachineError::Case expected)
    {
        const VirtualMachineError error = thrownVirtualMachineError(waitForOutcome(std::move(task)));
        EXPECT_EQ(error.errorCase(), expected);
        return error.detail();
    }

    static qint64 allocatedBytes(const QString &path)
    {
        struct stat status {
        };
        return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? qint64(status.st_blocks) * 512 : -1;
    }

    VMExportService m_service{m_logging, store()};
    QStringList m_published;
};

} // namespace

TEST_F(VMExportServiceTest, ABundleCopyLeavesOutWhatTheConfigurationExcludes)
{
    const VMBundle bundle = fullBundle();
    const QStringList sourceTree = tree(bundle.bundleURL);
    VMExportConfiguration configuration;
    configuration.includeSavedState = false;

    const QString result = finished(m_service.exportAsBundle(bundle, destination(), QStringLiteral("Copy"), configuration));

    EXPECT_EQ(result, destination() + QStringLiteral("/Copy.vm"));
    EXPECT_EQ(m_published, (QStringList{QStringLiteral("copying 0"), QStringLiteral("copying 0.7"), QStringLiteral("copying 1"),
                                        QStringLiteral("completed ") + result}));
    const QStringList copied = tree(result);
    for (const QString &item : copied)
        EXPECT_FALSE(item.startsWith(QStringLiteral("Snapshots"))) << item.toStdString();
    for (const char *kept : {"RestoreImages/image.IPSW", "RestoreImages/notes.txt", "RestoreImages/RestoreImage.json", "Logs/",
                             "SavedState/", "Metadata.json", ".hidden"})
        EXPECT_TRUE(copied.contains(QString::fromUtf8(kept))) << kept;
    for (const char *left : {"RestoreImages/image.ipsw", "Logs/duvuzodovevav.log", "SavedState/MachineState.bin"})
        EXPECT_FALSE(copied.contains(QString::fromUtf8(left))) << left;

    EXPECT_EQ(FileOperations::readFile(result + QStringLiteral("/Disk.img"), diskLength),
              FileOperations::readFile(bundle.layout().diskImageURL(), diskLength));
    EXPECT_LT(allocatedBytes(result + QStringLiteral("/Disk.img")), diskLength / 8);

    EXPECT_EQ(tree(bundle.bundleURL), sourceTree);
    EXPECT_EQ(FileOperations::folderEntries(destination()), QStringList{QStringLiteral("Copy.vm")});
    const QString logLine = QStringLiteral("[Export] Exported Source as bundle to ") + result + QLatin1Char('\n');
    EXPECT_TRUE(bundleLog(bundle.bundleURL).contains(logLine));
}

TEST_F(VMExportServiceTest, EverythingTravelsWhenIncluded)
{
    const VMBundle bundle = fullBundle();
    VMExportConfiguration everything;
    everything.includeSnapshots = everything.includeRestoreImages = everything.includeLogs = everything.includeSavedState = true;

    const QString result = finished(m_service.exportAsBundle(bundle, destination(), QStringLiteral("All"), everything));
    EXPECT_EQ(tree(result), tree(bundle.bundleURL));

    const QString archive = finished(m_service.exportAsArchive(bundle, destination(), QStringLiteral("All"), everything));
    QStringList archived = ZipArchiveContents::paths(ZipArchiveContents::read(archive));
    archived.removeOne(QStringLiteral("All.vm/"));
    archived.replaceInStrings(QRegularExpression(QStringLiteral("^All\\.vm/")), QString());
    archived.sort();
    EXPECT_EQ(archived, tree(bundle.bundleURL));
}

TEST_F(VMExportServiceTest, AnArchiveHoldsTheTrimmedBundleUnderItsName)
{
    const VMBundle bundle = fullBundle();
    const QStringList sourceTree = tree(bundle.bundleURL);
    const QString archive = finished(m_service.exportAsArchive(bundle, destination(), QStringLiteral("Shared"), VMExportConfiguration{}));

    EXPECT_EQ(archive, destination() + QStringLiteral("/Shared.vmarchive"));
    // The fraction grows while the archive is written (as often as the writing lasts long enough to be sampled) and ends whole.
    ASSERT_GE(m_published.size(), 5) << m_published.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(m_published.mid(0, 3), (QStringList{QStringLiteral("copying 0"), QStringLiteral("copying 0.5"), QStringLiteral("compressing 0")}));
    EXPECT_EQ(m_published.mid(m_published.size() - 2), (QStringList{QStringLiteral("compressing 1"), QStringLiteral("completed ") + archive}));
    double previous = 0;
    for (const QString &step : m_published.mid(3, m_published.size() - 4)) {
        ASSERT_TRUE(step.startsWith(QStringLiteral("compressing "))) << step.toStdString();
        const double fraction = step.mid(12).toDouble();
        EXPECT_GE(fraction, previous) << step.toStdString();
        previous = fraction;
    }
    qint64 compared = 0;
    const auto items = ZipArchiveContents::read(
        archive, ZipArchiveContents::sameAs(QStringLiteral("Shared.vm/Disk.img"), bundle.layout().diskImageURL(), compared));
    const QStringList paths = ZipArchiveContents::paths(items);
    ASSERT_FALSE(paths.isEmpty());
    EXPECT_EQ(paths.first(), QStringLiteral("Shared.vm/"));
    for (const QString &path : paths) {
        EXPECT_TRUE(path.startsWith(QStringLiteral("Shared.vm/"))) << path.toStdString();
        EXPECT_FALSE(path.startsWith(QStringLiteral("Shared.vm/Snapshots"))) << path.toStdString();
        EXPECT_FALSE(path.startsWith(QStringLiteral("Shared.vm/Logs"))) << path.toStdString();
    }
    for (const char *kept : {"RestoreImages/image.IPSW", "RestoreImages/RestoreImage.json", "SavedState/MachineState.bin", ".hidden"})
        EXPECT_TRUE(paths.contains(QStringLiteral("Shared.vm/") + QString::fromUtf8(kept))) << kept;
    EXPECT_FALSE(paths.contains(QStringLiteral("Shared.vm/RestoreImages/image.ipsw")));
    EXPECT_EQ(compared, diskLength);

    EXPECT_EQ(tree(bundle.bundleURL), sourceTree);
    EXPECT_EQ(FileOperations::folderEntries(destination()), QStringList{QStringLiteral("Shared.vmarchive")});
    const QString logLine = QStringLiteral("[Export] Exported Source as archive to ") + archive + QLatin1Char('\n');
    EXPECT_TRUE(bundleLog(bundle.bundleURL).contains(logLine));

    VMExportConfiguration withoutState;
    withoutState.includeSavedState = false;
    const QString trimmed = finished(m_service.exportAsArchive(bundle, destination(), QStringLiteral("Trim"), withoutState));
    for (const QString &path : ZipArchiveContents::paths(ZipArchiveContents::read(trimmed)))
        EXPECT_FALSE(path.startsWith(QStringLiteral("Trim.vm/SavedState"))) << path.toStdString();
}

TEST_F(VMExportServiceTest, ABundleWithoutOptionalPartsExportsWhateverTheFlags)
{
    const VMBundle bundle = savedBundle(QStringLiteral("Plain"));
    for (const QString &name : {QStringLiteral("Logs"), QStringLiteral("SavedState"), QStringLiteral("RestoreImages")})
        FileOperations::removeItem(bundle.bundleURL + QLatin1Char('/') + name);
    write(bundle.bundleURL + QStringLiteral("/Snapshots"), "a file, not the folder");
    const QStringList sourceTree = tree(bundle.bundleURL);

    const QString result = finished(m_service.exportAsBundle(bundle, destination(), QStringLiteral("Plain"), VMExportConfiguration{}));
    EXPECT_EQ(tree(result), sourceTree);
    const QString archive = finished(m_service.exportAsArchive(bundle, destination(), QStringLiteral("Plain"), VMExportConfiguration{}));
    EXPECT_TRUE(ZipArchiveContents::paths(ZipArchiveContents::read(archive)).contains(QStringLiteral("Plain.vm/Snapshots")));
}

TEST_F(VMExportServiceTest, AnExistingResultIsReplacedOnlyBySuccess)
{
    const VMBundle bundle = fullBundle();
    write(destination() + QStringLiteral("/Copy.vm/old.txt"), "old");
    write(destination() + QStringLiteral("/Copy.vmarchive"), "old archive");

    VMBundle vanished = bundle;
    vanished.bundleURL = outside(QStringLiteral("gone.vm"));
    EXPECT_THROW(finished(m_service.exportAsBundle(vanished, destination(), QStringLiteral("Copy"), VMExportConfiguration{})),
                 PlatformError);
    EXPECT_THROW(finished(m_service.exportAsArchive(vanished, destination(), QStringLiteral("Copy"), VMExportConfiguration{})),
                 PlatformError);
    EXPECT_EQ(FileOperations::folderEntries(destination()).size(), 2);
    EXPECT_EQ(read(destination() + QStringLiteral("/Copy.vm/old.txt")), QStringLiteral("old"));
    EXPECT_EQ(read(destination() + QStringLiteral("/Copy.vmarchive")), QStringLiteral("old archive"));

    const QString result = finished(m_service.exportAsBundle(bundle, destination(), QStringLiteral("Copy"), VMExportConfiguration{}));
    EXPECT_FALSE(FileOperations::itemExists(result + QStringLiteral("/old.txt")));
    EXPECT_TRUE(FileOperations::itemExists(result + QStringLiteral("/Metadata.json")));
    const QString archive = finished(m_service.exportAsArchive(bundle, destination(), QStringLiteral("Copy"), VMExportConfiguration{}));
    EXPECT_EQ(ZipArchiveContents::paths(ZipArchiveContents::read(archive)).first(), QStringLiteral("Copy.vm/"));
    EXPECT_EQ(FileOperations::folderEntries(destination()).size(), 2);
}

TEST_F(VMExportServiceTest, ExportsThatCouldDestroyABundleAreRefused)
{
    const VMBundle bundle = fullBundle();
    const VMBundle other = savedBundle(QStringLiteral("Other"));
    const QStringList sourceTree = tree(bundle.bundleURL);
    const QStringList otherTree = tree(other.bundleURL);
    const QStringList rootEntries = FileOperations::folderEntries(root());

    const struct {
        QString destinationDir;
        QString name;
        const char *detailStart;
    } refusals[] = {
        {bundle.bundleURL, QStringLiteral("Inside"), "The export destination lies inside the VM's own bundle."},
        {bundle.bundleURL + QStringLiteral("/Logs"), QStringLiteral("Inside"), "The export destination lies inside the VM's own bundle."},
        {root(), QStringLiteral("Source"), "\"Source.vm\" in that folder is a VM of the library"},
        {root() + QStringLiteral("/"), QStringLiteral("Other"), "\"Other.vm\" in that folder is a VM of the library"},
        {destination(), QStringLiteral("../escape"), "An export name cannot contain \"/\"."},
    };
    for (const auto &row : refusals) {
        const QString detail = failureOf(m_service.exportAsBundle(bundle, row.destinationDir, row.name, VMExportConfiguration{}),
                                         VirtualMachineError::Case::invalidOperation);
        EXPECT_TRUE(detail.startsWith(QString::fromUtf8(row.detailStart))) << detail.toStdString();
        if (row.name != QStringLiteral("Source") && row.name != QStringLiteral("Other"))
            failureOf(m_service.exportAsArchive(bundle, row.destinationDir, row.name, VMExportConfiguration{}),
                      VirtualMachineError::Case::invalidOperation);
    }
    EXPECT_FALSE(m_service.exportProgress().has_value());
    EXPECT_TRUE(m_published.isEmpty());
    EXPECT_EQ(tree(bundle.bundleURL), sourceTree);
    EXPECT_EQ(tree(other.bundleURL), otherTree);
    EXPECT_EQ(FileOperations::folderEntries(root()), rootEntries);
    EXPECT_TRUE(FileOperations::folderEntries(destination()).isEmpty());
}

TEST_F(VMExportServiceTest, AnItemTheGuestWroteThatCannotBeReadFailsTheExportBeforeAnythingIsWritten)
{
    const VMBundle bundle = fullBundle();
    write(bundle.layout().automationDirectoryURL() + QStringLiteral("/Responses/answer.json"), "{}");
    const FileSystemTraps::UnreadableFolder locked(bundle.layout().automationDirectoryURL() + QStringLiteral("/Locked"));
    const WithoutAccessOverride noOverride;
    if (!noOverride.isActive())
        GTEST_SKIP() << "root could not give up its access override";
    const QString expected = QStringLiteral("\"Automation/Locked\" in the VM's shared automation folder cannot be read (Permission denied). The "
                                            "guest wrote it there; make it readable or remove it, then try again.");

    EXPECT_EQ(failureOf(m_service.exportAsBundle(bundle, destination(), QStringLiteral("Copy"), VMExportConfiguration{}),
                        VirtualMachineError::Case::invalidOperation),
              expected);
    EXPECT_EQ(failureOf(m_service.exportAsArchive(bundle, destination(), QStringLiteral("Copy"), VMExportConfiguration{}),
                        VirtualMachineError::Case::invalidOperation),
              expected);
    EXPECT_TRUE(QDir(destination()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    EXPECT_FALSE(bundleLog(bundle.bundleURL).contains(QStringLiteral("Exported")));
}

namespace {

/// The entries below `prefix` with their content, by the bytes of their names, as libarchive reads them in a UTF-8 locale.
QMap<QByteArray, QByteArray> archivedBelow(const QString &archivePath, const QByteArray &prefix)
{
    const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
    const locale_t previous = ::uselocale(utf8);
    QMap<QByteArray, QByteArray> items;
    struct archive *archive = archive_read_new();
    archive_read_support_format_zip(archive);
    EXPECT_EQ(archive_read_open_filename(archive, QFile::encodeName(archivePath).constData(), 1 << 16), ARCHIVE_OK);
    archive_entry *entry = nullptr;
    while (archive_read_next_header(archive, &entry) == ARCHIVE_OK) {
        const QByteArray name(archive_entry_pathname(entry));
        QByteArray content;
        char buffer[4096];
        for (la_ssize_t got; (got = archive_read_data(archive, buffer, sizeof buffer)) > 0;)
            content.append(buffer, got);
        if (name.startsWith(prefix) && name.size() > prefix.size())
            items.insert(name.mid(prefix.size()), content);
    }
    archive_read_free(archive);
    ::uselocale(previous);
    ::freelocale(utf8);
    return items;
}

/// Whether each entry of the central directory below `prefix` carries the flag that says its name is UTF-8.
QMap<QByteArray, bool> utf8FlagsBelow(const QByteArray &archive, const QByteArray &prefix)
{
    const auto number = [&archive](qsizetype at, int size) {
        quint32 value = 0;
        for (int index = size - 1; index >= 0; --index)
            value = value << 8 | quint8(archive[at + index]);
        return value;
    };
    QMap<QByteArray, bool> flags;
    const qsizetype end = archive.lastIndexOf("PK\x05\x06");
    if (end < 0)
        return flags;
    for (qsizetype at = number(end + 16, 4); archive.mid(at, 4) == "PK\x01\x02";) {
        const qsizetype nameLength = number(at + 28, 2);
        const QByteArray name = archive.mid(at + 46, nameLength);
        if (name.startsWith(prefix) && name.size() > prefix.size())
            flags.insert(name.mid(prefix.size()), (number(at + 8, 2) & 0x800) != 0);
        at += 46 + nameLength + number(at + 30, 2) + number(at + 32, 2);
    }
    return flags;
}

} // namespace

TEST_F(VMExportServiceTest, NamesTheGuestGaveInAnyEncodingTravelByteForByte)
{
    const VMBundle bundle = fullBundle();
    RawNames::plant(bundle.layout().automationDirectoryURL());
    // Left out by the configuration, whatever the names in it.
    RawNames::plant(bundle.layout().logsDirectoryURL());
    VMExportConfiguration configuration;
    configuration.includeLogs = false;

    const QString copy = waitForOutcome(m_service.exportAsBundle(bundle, destination(), QStringLiteral("Copy"), configuration)).get();
    EXPECT_EQ(RawNames::tree(copy + QStringLiteral("/Automation")), RawNames::plantedTree());
    EXPECT_TRUE(RawNames::tree(copy + QStringLiteral("/Logs")).isEmpty());

    const QString archive = waitForOutcome(m_service.exportAsArchive(bundle, destination(), QStringLiteral("Copy"), configuration)).get();
    EXPECT_EQ(archivedBelow(archive, "Copy.vm/Automation/"), RawNames::plantedTree());
    EXPECT_EQ(archivedBelow(archive, "Copy.vm/Logs/"), (QMap<QByteArray, QByteArray>()));
    // Only names that are UTF-8 say so; the others keep their bytes without the flag, as the zip format has it.
    const QMap<QByteArray, bool> expectedFlags {
        {"bad\xE9.txt", false}, {"caf\xC3\xA9.txt", true}, {"d\xE9j\xE0/", false},
        {"d\xE9j\xE0/\xFF\xFE.bin", false}, {"d\xE9j\xE0/plain.txt", false}, {"\xC3(", false},
    };
    QFile written(archive);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(utf8FlagsBelow(written.readAll(), "Copy.vm/Automation/"), expectedFlags);
}

TEST_F(VMExportServiceTest, ExportingAVMChecksItsStateAndNamesTheResult)
{
    VMBundle bundle = fullBundle();
    bundle.metadata.runtimeState = VMRuntimeState::paused;
    const QString detail = failureOf(m_service.exportVM(bundle, destination(), VMExportFormat::vmBundle, VMExportConfiguration{}),
                                     VirtualMachineError::Case::invalidOperation);
    EXPECT_EQ(detail, QStringLiteral("Stop the VM before exporting."));
    EXPECT_FALSE(m_service.exportProgress().has_value());

    bundle.metadata.runtimeState = VMRuntimeState::stopped;
    VMExportConfiguration configuration;
    configuration.archiveName = QStringLiteral("a/b:c");
    const QString archive = finished(m_service.exportVM(bundle, destination(), VMExportFormat::compressedArchive, configuration));
    EXPECT_EQ(archive, destination() + QStringLiteral("/a-b-c.vmarchive"));
    EXPECT_EQ(m_published.first(), QStringLiteral("preparing"));
    EXPECT_EQ(m_published.last(), QStringLiteral("completed ") + archive);

    configuration.archiveName.clear();
    EXPECT_EQ(finished(m_service.exportVM(bundle, destination(), VMExportFormat::vmBundle, configuration)),
              destination() + QStringLiteral("/Source.vm"));
}

TEST_F(VMExportServiceTest, AnExportOutlivesItsService)
{
    const VMBundle bundle = fullBundle();
    auto service = std::make_unique<VMExportService>(m_logging, store());
    // The copy waits for the pool, so the service goes while it is still copying.
    BusyThreadPool busy;
    auto task = service->exportAsBundle(bundle, destination(), QStringLiteral("Orphan"), VMExportConfiguration{});
    EXPECT_EQ(describe(*service->exportProgress()), QStringLiteral("copying 0"));
    service.reset();
    busy.release();
    EXPECT_EQ(waitForOutcome(std::move(task)).get(), destination() + QStringLiteral("/Orphan.vm"));
    EXPECT_TRUE(FileOperations::itemExists(destination() + QStringLiteral("/Orphan.vm/Metadata.json")));
}
