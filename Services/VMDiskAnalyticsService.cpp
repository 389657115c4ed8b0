// SPDX-License-Identifier: MIT
#include "VMDiskAnalyticsService.h"

#include "ConfinedFolder.h"
#include "DirectoryWalk.h"
#include "DiskImageService.h"
#include "FileMeasurements.h"
#include "FileOperations.h"
#include "ItemAttributes.h"
#include "JSONCoding.h"
#include "LoggingService.h"

#include <QHash>

#include <sys/stat.h>

#include <exception>
#include <utility>

using Layout = VMBundle::Layout;

namespace {

/// st_blocks always counts 512-byte units, whatever the file system's block size.
constexpr quint64 statBlockSize = 512;

/// The allocated bytes of a folder tree, in total and per folder directly inside it.
struct TreeSpace {
    quint64 total = 0;
    QHash<QString, quint64> perTopFolder;

    quint64 below(QStringView folderName) const { return perTopFolder.value(folderName.toString()); }
};

/// One walk of the tree below `folder`: hidden items left out, unreadable ones passed over, links counted as themselves.
TreeSpace measureTree(const QString &folder)
{
    TreeSpace space;
    const qsizetype prefixLength = folder.size() + (folder.endsWith(QLatin1Char('/')) ? 0 : 1);
    DirectoryWalk::forEachItemBelow(folder, {.hidden = DirectoryWalk::HiddenItems::skip, .failures = DirectoryWalk::Failures::passedOver},
        [&space, prefixLength](const DirectoryWalk::Item &item) {
            if (S_ISDIR(item.status.st_mode))
                return;
            const quint64 bytes = quint64(item.status.st_blocks) * statBlockSize;
            space.total += bytes;
            const QStringView relative = QStringView(item.path).mid(prefixLength);
            const qsizetype separator = relative.indexOf(QLatin1Char('/'));
            // An item directly in the folder belongs to no subfolder, even when it is named like one.
            if (separator > 0)
                space.perTopFolder[relative.left(separator).toString()] += bytes;
        });
    return space;
}

/// The one item of RestoreImages that removing the cached images keeps: the record of where the image came from.
constexpr QStringView restoreImageInfoFileName = u"RestoreImage.json";

/// A folder itself, not a link to one.
bool isRealFolder(const QString &path)
{
    try {
        return ItemAttributes::status(path).kind == ItemAttributes::Status::Kind::folder;
    } catch (const std::exception &) {
        return false;
    }
}

} // namespace

VMDiskAnalyticsService::VMDiskAnalyticsService(const DiskImageService &diskImageService, const LoggingService &logging, Clock clock,
                                               AvailableSpaceSource availableSpace)
    : m_diskImageService(diskImageService)
    , m_logging(logging)
    , m_clock(std::move(clock))
    , m_availableSpace(std::move(availableSpace))
{
}

VMDiskAnalyticsService::Clock VMDiskAnalyticsService::systemClock()
{
    return [] { return QDateTime::currentDateTimeUtc(); };
}

VMDiskAnalyticsService::AvailableSpaceSource VMDiskAnalyticsService::volumeAvailableSpace()
{
    return [](const QString &path) { return FileMeasurements::availableSpace(path); };
}

// ---- Measuring -------------------------------------------------------------

VMDiskAnalytics VMDiskAnalyticsService::breakdown(const VMBundle &bundle) const
{
    const Layout layout = bundle.layout();
    std::optional<DiskImageService::DiskUsage> disk;
    try {
        disk = m_diskImageService.diskUsage(layout.diskImageURL());
    } catch (const std::exception &) {
        // Without a disk image the figures fall back to the metadata's capacity and nothing allocated.
    }
    const TreeSpace space = measureTree(bundle.bundleURL);

    VMDiskAnalytics analytics;
    analytics.virtualCapacityBytes = disk ? disk->logicalSizeBytes : bundle.metadata.diskSizeBytes;
    analytics.hostAllocatedBytes = disk ? disk->allocatedSizeBytes.value_or(0) : 0;
    analytics.snapshotUsageBytes = space.below(Layout::snapshotsDirectoryName);
    analytics.savedStateBytes = space.below(Layout::savedStateDirectoryName);
    analytics.automationBytes = space.below(Layout::automationDirectoryName);
    analytics.restoreImageBytes = space.below(Layout::restoreImagesDirectoryName);
    analytics.logBytes = space.below(Layout::logsDirectoryName);
    const quint64 accounted = analytics.hostAllocatedBytes + analytics.snapshotUsageBytes + analytics.savedStateBytes
        + analytics.automationBytes + analytics.restoreImageBytes + analytics.logBytes;
    analytics.otherBytes = space.total > accounted ? space.total - accounted : 0;
    analytics.analyzedAt = m_clock();
    return analytics;
}

QList<ReclaimRecommendation> VMDiskAnalyticsService::recommendations(const QString &bundleURL) const
{
    const TreeSpace space = measureTree(bundleURL);
    VMDiskAnalytics figures;
    figures.snapshotUsageBytes = space.below(Layout::snapshotsDirectoryName);
    figures.restoreImageBytes = space.below(Layout::restoreImagesDirectoryName);
    figures.logBytes = space.below(Layout::logsDirectoryName);
    return figures.recommendations();
}

quint64 VMDiskAnalyticsService::allocatedSize(const QString &location)
{
    return isRealFolder(location) ? measureTree(location).total : 0;
}

// ---- Growth history --------------------------------------------------------

void VMDiskAnalyticsService::recordGrowth(const QString &bundleURL) const
{
    const Layout layout{bundleURL};
    DiskImageService::DiskUsage usage;
    try {
        usage = m_diskImageService.diskUsage(layout.diskImageURL());
    } catch (const std::exception &) {
        return;
    }
    VMDiskGrowthHistory history = growthHistory(bundleURL);
    history.record(usage.allocatedSizeBytes.value_or(0), m_clock());
    try {
        FileOperations::writeAtomically(layout.diskGrowthHistoryURL(), sharedJSONEncoder().encode(history));
    } catch (const std::exception &) {
        // The history only feeds an estimate; losing one sample is not worth troubling the caller.
    }
}

VMDiskGrowthHistory VMDiskAnalyticsService::growthHistory(const QString &bundleURL) const
{
    const QString url = Layout{bundleURL}.diskGrowthHistoryURL();
    if (!FileOperations::itemExists(url))
        return {};
    try {
        return sharedJSONDecoder().decode<VMDiskGrowthHistory>(FileOperations::readFile(url));
    } catch (const std::exception &) {
        return {};
    }
}

quint64 VMDiskAnalyticsService::hostAvailableCapacityBytes(const QString &bundleURL) const
{
    try {
        return m_availableSpace(bundleURL);
    } catch (const std::exception &) {
        return 0;
    }
}

std::optional<double> VMDiskAnalyticsService::estimatedDaysUntilHostFull(const QString &bundleURL) const
{
    return growthHistory(bundleURL).estimatedDaysUntilHostFull(hostAvailableCapacityBytes(bundleURL));
}

// ---- Reclaiming ------------------------------------------------------------

void VMDiskAnalyticsService::reclaim(ReclaimAction action, const VMBundle &bundle) const
{
    const Layout layout = bundle.layout();
    switch (action) {
    case ReclaimAction::deleteSnapshots:
        // removeItem takes a link as itself, so a linked Snapshots folder loses the link, not what it points to.
        if (FileOperations::itemExists(layout.snapshotsDirectoryURL()))
            FileOperations::removeItem(layout.snapshotsDirectoryURL());
        break;
    case ReclaimAction::deleteRestoreImages:
        removeContent(layout.restoreImagesDirectoryURL(), restoreImageInfoFileName);
        break;
    case ReclaimAction::clearLogs:
        removeContent(layout.logsDirectoryURL());
        break;
    }
    m_logging.log(QStringLiteral("Reclaimed space via ") + toRaw(action) + QStringLiteral(" for ") + bundle.metadata.name,
                  QStringLiteral("DiskAnalytics"), bundle.bundleURL);
}

void VMDiskAnalyticsService::removeContent(const QString &folder, QStringView kept)
{
    if (!FileOperations::itemExists(folder))
        return;
    // Opened without following a link: a bundle from elsewhere may carry a link here that leads to
    // the user's own files, and emptying it would empty them.
    const ConfinedFolder confined = ConfinedFolder::open(folder);
    for (const ConfinedFolder::Entry &entry : confined.entries()) {
        if (entry.name != kept)
            FileOperations::removeItem(confined.pathOf(entry.name));
    }
}
