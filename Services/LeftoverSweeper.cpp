// SPDX-License-Identifier: MIT
#include "LeftoverSweeper.h"

#include "AbandonedMirrors.h"
#include "FileOperations.h"
#include "JSONCoding.h"
#include "LoggingService.h"
#include "ProtectionMirror.h"
#include "StagingMarker.h"
#include "VMBundle.h"
#include "VMSnapshotService.h"
#include "VMSnapshotTimeline.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QUuid>

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <optional>

namespace {

using Layout = VMBundle::Layout;

/// The files the library writes atomically or copies into a bundle; their hidden temporary siblings are ours.
constexpr std::array ownFileNames{
    Layout::metadataFileName,     Layout::sharedFoldersFileName,      Layout::diskImageFileName,       Layout::auxiliaryStorageFileName,
    Layout::machineIdentifierFileName, Layout::hardwareModelFileName, Layout::linuxBootFileName,       Layout::efiVariableStoreFileName,
    Layout::windowsConfigFileName, Layout::diskGrowthHistoryFileName, QStringView(u"MachineState.bin"), QStringView(u"Timeline.json"),
    QStringView(u"RestoreImage.json"), QStringView(u"manifest.json"), QStringView(u"TrackedBundles.json"), QStringView(u"RecentDestinations.json"),
};

/// ".<name>.<random>" of a temporary sibling file, ".<name>.linking-<random>" of a mirror link being replaced.
const QRegularExpression temporaryFileName(QStringLiteral(R"(^\.(.+)\.(?:linking-)?[0-9a-z]{8,13}$)"));
/// What a save of a machine's state by an earlier version left: the file QEMU wrote into and the name it was given before it took its place.
const QRegularExpression earlierSavedStateName(QStringLiteral(R"(^(?:\.MachineState\.bin\.saving|\.\.MachineState\.bin\.saving\.[0-9A-Za-z]{6})$)"));
/// ".<name>.staging-<random>" of a copy, an export or a saved state being made.
const QRegularExpression stagingFolderName(QStringLiteral(R"(^\..+\.staging-[0-9a-f]{1,16}$)"));

bool isRestoreStagingName(const QString &name)
{
    return name == VMSnapshotService::stagedDiskName
        || QString(Layout::savedStateDirectoryName.toString() + QLatin1Char('/') + name) == VMSnapshotService::stagedStateRelativePath;
}

bool isOwnTemporaryFile(const QString &name)
{
    if (isRestoreStagingName(name) || earlierSavedStateName.match(name).hasMatch())
        return true;
    const QRegularExpressionMatch match = temporaryFileName.match(name);
    if (!match.hasMatch())
        return false;
    const QString stem = match.captured(1);
    return isRestoreStagingName(stem) || std::any_of(ownFileNames.begin(), ownFileNames.end(), [&](QStringView own) { return stem == own; });
}

std::optional<struct stat> status(const QString &path)
{
    struct stat result {
    };
    if (::lstat(QFile::encodeName(path).constData(), &result) != 0)
        return std::nullopt;
    return result;
}

QString describe(const std::exception &error) { return QString::fromUtf8(error.what()); }

} // namespace

LeftoverSweeper::LeftoverSweeper(const LoggingService &logging, QDateTime cutoff)
    : m_logging(logging)
    , m_cutoff(std::move(cutoff))
{
}

bool LeftoverSweeper::isOldEnough(const QString &path) const
{
    const std::optional<struct stat> found = status(path);
    return found && qint64(found->st_mtim.tv_sec) < m_cutoff.toSecsSinceEpoch();
}

void LeftoverSweeper::sweepBundle(const QString &bundleURL) const
{
    if (!FileOperations::isFolder(bundleURL))
        return;
    const Layout layout{bundleURL};
    for (const QString &folder : {bundleURL, layout.savedStateDirectoryURL(), layout.snapshotsDirectoryURL(),
                                  layout.urlForRelativePath(Layout::restoreImagesDirectoryName.toString()), layout.bootstrapDirectoryURL()})
        sweepTemporaryFiles(folder, bundleURL);
    sweepStagingFolders(layout.savedStateDirectoryURL());
    sweepOrphanSnapshots(bundleURL);

    const QString mirrorRoot = ProtectionMirror::mirrorRootURL(bundleURL);
    const QString mirror = ProtectionMirror::mirrorURL(bundleURL);
    if (FileOperations::isFolder(mirrorRoot)) {
        sweepTemporaryFiles(mirror, bundleURL);
        sweepTemporaryFiles(mirror + QLatin1Char('/') + Layout::restoreImagesDirectoryName.toString(), bundleURL);
    }
}

void LeftoverSweeper::sweepApplicationFolder(const QString &folder) const
{
    sweepTemporaryFiles(folder, {});
}

void LeftoverSweeper::sweepTemporaryFiles(const QString &folder, const QString &logBundleURL) const
{
    if (!FileOperations::isFolder(folder))
        return;
    try {
        for (const QString &name : FileOperations::folderEntries(folder)) {
            const QString path = folder + QLatin1Char('/') + name;
            if (!isOwnTemporaryFile(name))
                continue;
            const std::optional<struct stat> found = status(path);
            if (found && S_ISREG(found->st_mode) && isOldEnough(path))
                remove(path, logBundleURL);
        }
    } catch (const std::exception &error) {
        m_logging.log(QStringLiteral("Could not look for leftovers in %1: %2").arg(folder, describe(error)), QStringLiteral("Store"), logBundleURL);
    }
}

void LeftoverSweeper::sweepOrphanSnapshots(const QString &bundleURL) const
{
    const Layout layout{bundleURL};
    const QString snapshots = layout.snapshotsDirectoryURL();
    if (!FileOperations::isFolder(snapshots))
        return;
    try {
        const QStringList names = FileOperations::folderEntries(snapshots);
        // A timeline that was set aside as unreadable may still be repaired by hand and name these folders.
        if (std::any_of(names.begin(), names.end(), [](const QString &name) { return name.startsWith(QStringLiteral("Timeline.json.unreadable-")); }))
            return;
        QSet<QString> named;
        const QString timelineURL = layout.snapshotTimelineURL();
        if (FileOperations::itemExists(timelineURL)) {
            const auto timeline = sharedJSONDecoder().decode<VMSnapshotTimeline>(FileOperations::readFile(timelineURL));
            for (const VMSnapshot &snapshot : timeline.snapshots)
                named.insert(snapshot.id.toString(QUuid::WithoutBraces).toUpper());
        }
        for (const QString &name : names) {
            const QUuid id = QUuid::fromString(name);
            if (id.isNull() || id.toString(QUuid::WithoutBraces).toUpper() != name || named.contains(name))
                continue;
            const QString path = snapshots + QLatin1Char('/') + name;
            if (FileOperations::isFolder(path) && isOldEnough(path))
                remove(path, bundleURL);
        }
    } catch (const std::exception &error) {
        // An unreadable timeline names nothing we could check against: nothing is removed.
        m_logging.log(QStringLiteral("Could not look for leftover snapshots: ") + describe(error), QStringLiteral("Store"), bundleURL);
    }
}

void LeftoverSweeper::sweepStagingFolders(const QString &folder) const
{
    if (!FileOperations::isFolder(folder))
        return;
    try {
        for (const QString &name : FileOperations::folderEntries(folder)) {
            const QString path = folder + QLatin1Char('/') + name;
            if (!stagingFolderName.match(name).hasMatch() || !FileOperations::isFolder(path) || !isOldEnough(path))
                continue;
            // The name alone proves nothing: a user may name a folder anything. Our marker, naming this folder and a
            // process that has ended, does; so does holding nothing but the start of such a marker.
            if (StagingMarker::marksLeftover(path) || StagingMarker::isUnfinished(path))
                removeStagingFolder(path);
        }
    } catch (const std::exception &error) {
        m_logging.log(QStringLiteral("Could not look for leftovers in %1: %2").arg(folder, describe(error)), QStringLiteral("Store"));
    }
}

void LeftoverSweeper::sweepClaimedMirrors(const QString &folder) const
{
    const QString mirrorRoot = ProtectionMirror::mirrorRootIn(folder);
    if (!FileOperations::isFolder(mirrorRoot))
        return;
    try {
        for (const QString &name : FileOperations::folderEntries(mirrorRoot)) {
            const QString path = mirrorRoot + QLatin1Char('/') + name;
            if (AbandonedMirrors::isClaimedName(name) && FileOperations::isFolder(path) && isOldEnough(path))
                remove(path, {});
        }
    } catch (const std::exception &error) {
        m_logging.log(QStringLiteral("Could not look for leftovers in %1: %2").arg(mirrorRoot, describe(error)), QStringLiteral("Store"));
    }
}

void LeftoverSweeper::sweepDestination(const QString &folder) const
{
    sweepStagingFolders(folder);
    if (!FileOperations::isFolder(folder))
        return;
    try {
        for (const QString &name : FileOperations::folderEntries(folder)) {
            const QString path = folder + QLatin1Char('/') + name;
            // A backup renamed into place keeps its marker until it is finished; the copy itself is whole.
            if (!name.startsWith(QLatin1Char('.')) && name.endsWith(QStringLiteral(".vm")) && FileOperations::isFolder(path)
                && StagingMarker::marksLeftover(path)) {
                StagingMarker::remove(path);
                m_logging.log(QStringLiteral("Finished %1, put in place by work that was cut short").arg(path), QStringLiteral("Store"));
            }
        }
    } catch (const std::exception &error) {
        m_logging.log(QStringLiteral("Could not look for leftovers in %1: %2").arg(folder, describe(error)), QStringLiteral("Store"));
    }
}

void LeftoverSweeper::removeStagingFolder(const QString &path) const
{
    try {
        StagingMarker::removeMarkedFolder(path);
        m_logging.log(QStringLiteral("Removed %1, left behind by interrupted work").arg(path), QStringLiteral("Store"));
    } catch (const std::exception &error) {
        m_logging.log(QStringLiteral("Could not remove %1, left behind by interrupted work: %2").arg(path, describe(error)), QStringLiteral("Store"));
    }
}

void LeftoverSweeper::remove(const QString &path, const QString &logBundleURL) const
{
    try {
        FileOperations::removeItem(path);
        m_logging.log(QStringLiteral("Removed %1, left behind by interrupted work").arg(path), QStringLiteral("Store"), logBundleURL);
    } catch (const std::exception &error) {
        m_logging.log(QStringLiteral("Could not remove %1, left behind by interrupted work: %2").arg(path, describe(error)), QStringLiteral("Store"),
                      logBundleURL);
    }
}
