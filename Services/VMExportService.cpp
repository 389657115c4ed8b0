// SPDX-License-Identifier: MIT
#include "VMExportService.h"

#include "BackgroundWork.h"
#include "ExportExclusions.h"
#include "FileOperations.h"
#include "GuestWrittenContent.h"
#include "ItemReplacement.h"
#include "LoggingService.h"
#include "PlatformError.h"
#include "SparseCopy.h"
#include "StagingFolder.h"
#include "VMStore.h"
#include "VirtualMachineError.h"
#include "ZipArchiveWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>

namespace {

const QString logCategory = QStringLiteral("Export");
const QString bundleExtension = QStringLiteral(".vm");
const QString archiveExtension = QStringLiteral(".vmarchive");

QString resultLocation(const QString &destinationDir, const QString &name, const QString &extension)
{
    return QDir::cleanPath(destinationDir + QLatin1Char('/') + name + extension);
}

/// Where the result is made inside its staging folder, and where a result it replaces waits to be removed.
const QString stagedResultName = QStringLiteral("Result");
const QString replacedResultName = QStringLiteral("Replaced");

/// The path with its links resolved, or cleaned up as it stands when it does not exist.
QString resolvedPath(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

bool isSameOrInside(const QString &path, const QString &folder)
{
    const QString resolved = resolvedPath(path);
    const QString resolvedFolder = resolvedPath(folder);
    return resolved == resolvedFolder || resolved.startsWith(resolvedFolder + QLatin1Char('/'));
}

/// Refused before anything is written: a copy that stopped at the guest's item would be thrown away anyway.
void refuseUnreadableGuestContent(const std::optional<QString> &unreadable)
{
    if (unreadable)
        throw VirtualMachineError::invalidOperation(*unreadable);
}

void removeIfPresent(const QString &path) noexcept
{
    try {
        if (FileOperations::itemExists(path))
            FileOperations::removeItem(path);
    } catch (...) {
        // Cleaning up after a failure must not hide the failure itself.
    }
}

// The work below runs on a worker thread, on copies of its arguments, with the result made inside a marked staging
// folder beside its place. Each removes what it wrote when it fails, so that only the marker is left for the GUI thread
// to remove; a crash at any point leaves a marked staging folder that the next library load removes.

void copyBundle(const QString &source, const QString &staged)
{
    try {
        SparseCopy::copyTree(source, staged);
    } catch (...) {
        removeIfPresent(staged);
        throw;
    }
}

void trimAndPlaceBundleCopy(const ExportExclusions &exclusions, const QString &staged, const QString &replaced, const QString &result)
{
    try {
        exclusions.trimBundleCopy(staged);
        ItemReplacement::replace(staged, result, replaced);
    } catch (...) {
        removeIfPresent(staged);
        throw;
    }
}

/// How far the worker has written an archive; the GUI thread reads it on a timer.
struct ArchiveProgress {
    std::atomic<qint64> total {0};
    std::atomic<qint64> written {0};

    std::optional<double> fraction() const
    {
        const qint64 all = total.load();
        return all > 0 ? std::optional<double>(std::clamp(double(written.load()) / double(all), 0.0, 1.0)) : std::nullopt;
    }
};

void writeArchive(const ExportExclusions &exclusions, const QString &source, const QString &topEntry, const QString &staged,
                  const QString &replaced, const QString &archive, const std::shared_ptr<ArchiveProgress> &progress)
{
    try {
        const ZipArchiveWriter::Filter travels = [&exclusions](const QString &relativePath, const struct stat &status) {
            return exclusions.travelsInArchive(relativePath, status);
        };
        progress->total = ZipArchiveWriter::contentSize(source, travels);
        ZipArchiveWriter writer(staged);
        writer.setProgress([&progress](qint64 written) { progress->written = written; });
        writer.addFolder(source, topEntry, travels);
        writer.finish();
        ItemReplacement::replace(staged, archive, replaced);
    } catch (...) {
        removeIfPresent(staged);
        throw;
    }
}

} // namespace

VMExportService::VMExportService(const LoggingService &logging, const VMStore &store, QObject *parent)
    : QObject(parent)
    , m_logging(logging)
    , m_store(store)
{
}

void VMExportService::setExportProgress(const VMExportProgress &progress)
{
    m_exportProgress = progress;
    Q_EMIT exportProgressChanged();
}

QCoro::Task<QString> VMExportService::exportVM(VMBundle bundle, QString destinationDir, VMExportFormat format,
                                               VMExportConfiguration configuration)
{
    if (bundle.metadata.runtimeState != VMRuntimeState::stopped)
        throw VirtualMachineError::invalidOperation(QStringLiteral("Stop the VM before exporting."));
    setExportProgress(VMExportProgress::preparing());
    const QString name = configuration.resolvedName(bundle.metadata.name);
    if (format == VMExportFormat::compressedArchive)
        co_return co_await exportAsArchive(std::move(bundle), std::move(destinationDir), name, std::move(configuration));
    co_return co_await exportAsBundle(std::move(bundle), std::move(destinationDir), name, std::move(configuration));
}

QCoro::Task<QString> VMExportService::exportAsBundle(VMBundle bundle, QString destinationDir, QString name,
                                                     VMExportConfiguration configuration)
{
    const QString result = resultLocation(destinationDir, name, bundleExtension);
    refuseUnsafeExport(bundle, destinationDir, name, result);
    const QString source = bundle.bundleURL;
    const ExportExclusions exclusions(configuration);
    const LoggingService &logging = m_logging;
    const RecentDestinations &destinations = m_store.recentDestinations();
    const QPointer<VMExportService> self(this);

    setExportProgress(VMExportProgress::copying(0.0));
    refuseUnreadableGuestContent(co_await BackgroundWork::run(&GuestWrittenContent::unreadableItem, source));
    destinations.remember(QFileInfo(result).path());
    const StagingFolder staging(QFileInfo(result).path(), QFileInfo(result).fileName());
    co_await BackgroundWork::run(&copyBundle, source, staging.pathOf(stagedResultName));
    if (self)
        self->setExportProgress(VMExportProgress::copying(0.7));
    co_await BackgroundWork::run(&trimAndPlaceBundleCopy, exclusions, staging.pathOf(stagedResultName), staging.pathOf(replacedResultName), result);
    if (self) {
        self->setExportProgress(VMExportProgress::copying(1.0));
        self->setExportProgress(VMExportProgress::completed(result));
    }
    logging.log(QStringLiteral("Exported ") + bundle.metadata.name + QStringLiteral(" as bundle to ") + result, logCategory, source);
    co_return result;
}

QCoro::Task<QString> VMExportService::exportAsArchive(VMBundle bundle, QString destinationDir, QString name,
                                                      VMExportConfiguration configuration)
{
    const QString archive = resultLocation(destinationDir, name, archiveExtension);
    refuseUnsafeExport(bundle, destinationDir, name, archive);
    const QString source = bundle.bundleURL;
    const QString topEntry = name + bundleExtension;
    const ExportExclusions exclusions(configuration);
    const LoggingService &logging = m_logging;
    const RecentDestinations &destinations = m_store.recentDestinations();
    const QPointer<VMExportService> self(this);

    // Nothing is staged: the trimmed bundle is streamed straight into the archive.
    setExportProgress(VMExportProgress::copying(0.0));
    setExportProgress(VMExportProgress::copying(0.5));
    setExportProgress(VMExportProgress::compressing(0.0));
    refuseUnreadableGuestContent(co_await BackgroundWork::run(&GuestWrittenContent::unreadableItem, source));
    destinations.remember(QFileInfo(archive).path());
    const StagingFolder staging(QFileInfo(archive).path(), QFileInfo(archive).fileName());
    const auto progress = std::make_shared<ArchiveProgress>();
    // The worker only counts; the fraction is published from here, a few times a second.
    QTimer poll;
    poll.setInterval(std::chrono::milliseconds(250));
    connect(&poll, &QTimer::timeout, this, [this, progress] {
        if (const std::optional<double> fraction = progress->fraction())
            setExportProgress(VMExportProgress::compressing(*fraction));
    });
    poll.start();
    std::optional<QString> compressionFailure;
    try {
        co_await BackgroundWork::run(&writeArchive, exclusions, source, topEntry, staging.pathOf(stagedResultName), staging.pathOf(replacedResultName),
                                     archive, progress);
    } catch (const ZipArchiveWriter::CompressionError &error) {
        compressionFailure = QString::fromUtf8(error.what());
    }
    poll.stop();
    if (compressionFailure) {
        if (self)
            self->setExportProgress(VMExportProgress::failed(QStringLiteral("Compression failed: ") + *compressionFailure));
        throw VirtualMachineError(VirtualMachineError::Case::backupFailed, QStringLiteral("Archive compression failed."));
    }
    if (self) {
        self->setExportProgress(VMExportProgress::compressing(1.0));
        self->setExportProgress(VMExportProgress::completed(archive));
    }
    logging.log(QStringLiteral("Exported ") + bundle.metadata.name + QStringLiteral(" as archive to ") + archive, logCategory, source);
    co_return archive;
}

void VMExportService::refuseUnsafeExport(const VMBundle &bundle, const QString &destinationDir, const QString &name,
                                         const QString &result) const
{
    if (name.contains(QLatin1Char('/')))
        throw VirtualMachineError::invalidOperation(QStringLiteral("An export name cannot contain \"/\"."));
    if (isSameOrInside(destinationDir, bundle.bundleURL))
        throw VirtualMachineError::invalidOperation(
            QStringLiteral("The export destination lies inside the VM's own bundle. Choose a folder outside it."));
    QList<QString> protectedBundles{bundle.bundleURL};
    for (const VMBundle &entry : m_store.bundles())
        protectedBundles.append(entry.bundleURL);
    for (const QString &protectedBundle : protectedBundles) {
        if (FileOperations::isSameFile(result, protectedBundle) || resolvedPath(result) == resolvedPath(protectedBundle))
            throw VirtualMachineError::invalidOperation(QLatin1Char('"') + QFileInfo(result).fileName()
                                                        + QStringLiteral("\" in that folder is a VM of the library, which an export "
                                                                         "cannot replace. Choose another name or folder."));
    }
}
