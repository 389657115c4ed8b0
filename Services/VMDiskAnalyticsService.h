// SPDX-License-Identifier: MIT
#pragma once

#include "ReclaimAction.h"
#include "ReclaimRecommendation.h"
#include "VMBundle.h"
#include "VMDiskAnalytics.h"
#include "VMDiskGrowthHistory.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <functional>
#include <optional>

class DiskImageService;
class LoggingService;

/**
 * Measures where a VM bundle's host space goes, keeps the growth history of
 * its disk image in DiskGrowthHistory.json, and removes what can be won
 * back. Space is always allocated bytes with hidden items left out, and one
 * breakdown walks the bundle once: every item is counted towards the folder
 * it lies in (Snapshots, SavedState, Automation, RestoreImages, Logs) or
 * else towards "other". Nothing is cached between calls. Links are never
 * followed, neither when measuring nor when removing.
 *
 * Measurements and the growth history never fail towards the caller: an
 * unreadable item counts 0 bytes, an unreadable history reads as empty, a
 * failed history write loses the sample. Only reclaim() throws. GUI thread
 * only.
 *
 * @code
 * VMDiskAnalyticsService analytics(disks, logging);
 * const VMDiskAnalytics figures = analytics.breakdown(bundle);
 * analytics.recordGrowth(bundle.bundleURL);
 * for (const ReclaimRecommendation &offer : figures.recommendations()) ...
 * analytics.reclaim(ReclaimAction::clearLogs, bundle);
 * @endcode
 */
class VMDiskAnalyticsService
{
public:
    /// The current time; tests pass a fixed one.
    using Clock = std::function<QDateTime()>;
    /// The bytes still free on the volume that holds a path; may throw PlatformError.
    using AvailableSpaceSource = std::function<quint64(const QString &path)>;

    VMDiskAnalyticsService(const DiskImageService &diskImageService, const LoggingService &logging, Clock clock = systemClock(),
                           AvailableSpaceSource availableSpace = volumeAvailableSpace());

    static Clock systemClock();
    /// statvfs of the path: what an unprivileged user may still write there.
    static AvailableSpaceSource volumeAvailableSpace();

    // Measuring
    /**
     * The bundle's space, from one walk of the bundle folder. Disk.img is
     * measured by the disk image service; without it, the virtual capacity
     * is the metadata's disk size and nothing counts as allocated to it.
     */
    VMDiskAnalytics breakdown(const VMBundle &bundle) const;

    /// The clean-ups worth offering for the bundle, largest first; the same as breakdown().recommendations().
    QList<ReclaimRecommendation> recommendations(const QString &bundleURL) const;

    /// The allocated bytes below a folder, hidden items left out; 0 for anything else (missing, a file, a link).
    static quint64 allocatedSize(const QString &location);

    // Growth history
    /// Records Disk.img's allocated bytes in DiskGrowthHistory.json (one sample a day, the latest); without a disk image, nothing changes.
    void recordGrowth(const QString &bundleURL) const;

    /// The stored history; a missing, unreadable or undecodable file reads as an empty one.
    VMDiskGrowthHistory growthHistory(const QString &bundleURL) const;

    /// The bytes free on the volume that holds the bundle (not necessarily the system's); 0 when unknown.
    quint64 hostAvailableCapacityBytes(const QString &bundleURL) const;

    /// The stored history's estimate of the days until the bundle's volume is full; absent without growth or free-space figure.
    std::optional<double> estimatedDaysUntilHostFull(const QString &bundleURL) const;

    // Reclaiming
    /**
     * Removes what the action names and logs it in the bundle's log under
     * "DiskAnalytics"; a missing folder is nothing to remove. A link is
     * removed as itself, never its target, and a link in place of the
     * RestoreImages or Logs folder is refused (ENOTDIR) rather than
     * emptying the folder it leads to. The first failure is thrown as
     * PlatformError; what was removed before it stays removed, and nothing
     * is logged.
     */
    void reclaim(ReclaimAction action, const VMBundle &bundle) const;

private:
    /// Removes every item in `folder` whose name is not `kept`.
    static void removeContent(const QString &folder, QStringView kept = {});

    const DiskImageService &m_diskImageService;
    const LoggingService &m_logging;
    const Clock m_clock;
    const AvailableSpaceSource m_availableSpace;
};
