// SPDX-License-Identifier: MIT
#pragma once

#include "DiskImageService.h"
#include "HostCapacity.h"
#include "VMBundle.h"
#include "VMDiskExpansionAutomationOutcome.h"
#include "VMGuestAutomationStatusSnapshot.h"

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

/// The state of a VM's guest tools as the details pane shows it.
enum class GuestToolsState {
    notInstalled,
    updateAvailable,
    installed,
};

/**
 * Every text, flag and limit the details pane derives from a VM's bundle,
 * its disk usage and its guest-tools status: pure functions, computed on
 * each read. An absent bundle stands for a VM the library no longer holds.
 */
namespace VMDetailsTexts {

/// The guest-tools version this host stages into its guests.
inline constexpr QStringView hostStagedGuestToolsVersion = u"3";
/// The guest tools' name as users know it.
inline constexpr QStringView guestToolsName = u"Kestrum Tools";
/// Where the Linux guest mounts the automation share.
inline constexpr QStringView linuxMountPoint = u"/mnt/duvuzodovevav";

using Bundle = std::optional<VMBundle>;
using DiskUsage = std::optional<DiskImageService::DiskUsage>;

QString displayTitle(const Bundle &bundle);
QString runtimeStateText(const Bundle &bundle);
/**
 * How far the VM's system is installed. A Linux or Windows bundle counts as
 * installed once it can boot its installer; while its disk image holds no
 * data yet, nothing is installed in it and the text says it is ready to be,
 * or, while the VM runs, that its installer runs.
 */
QString installStateText(const Bundle &bundle, const DiskUsage &usage);
/// Why what works on an installed system (growing its disk, the guides) waits: the disk holds no system yet; none otherwise.
std::optional<QString> guestInstallPendingReason(const Bundle &bundle, const DiskUsage &usage);
QString hardwareSummary(const Bundle &bundle);
QString displaySummary(const Bundle &bundle);
QString virtualCapacityText(const Bundle &bundle, const DiskUsage &usage);
QString networkSummary(const Bundle &bundle);
QString microphoneSummary(const Bundle &bundle);
QString speakerSummary(const Bundle &bundle);
QString linuxInstallMediaSummary(const Bundle &bundle);
/// The guest's own name ("Debian 12"), else its kind followed by `noun` ("Linux" and " VM").
QString guestDescription(const Bundle &bundle, QStringView noun);
/// The Bundle Layout rows, label and file name: the files this kind of guest boots from; a macOS bundle's without a bundle.
QList<QPair<QString, QString>> bundleLayoutRows(const Bundle &bundle);

/// The bytes a VM's bundle takes on the host; "Unavailable" when unknown.
QString hostAllocationText(const std::optional<quint64> &allocatedBytes);
QString diskCapacitySummary(const DiskUsage &usage);

/// Why the VM cannot start as it is installed: a failed or unfinished installation; none otherwise.
std::optional<QString> startBlockReason(const Bundle &bundle);
/// Why the settings cannot be changed now; none when they can.
std::optional<QString> settingsChangeBlockReason(const Bundle &bundle);
/// Why the disk capacity cannot be changed now; none when it can.
std::optional<QString> diskCapacityChangeBlockReason(const Bundle &bundle);

/// The settings sheet's upper bound of CPUs: the host's count within 2…16, or more when the VM has more already.
qint64 maximumCPUCount(const Bundle &bundle, const HostCapacity &host);
/// The settings sheet's upper bound of memory in GB: the maximum of GuestMemoryLimits, or more when the VM has more already.
double maximumMemorySizeGB(const Bundle &bundle, const HostCapacity &host);

GuestToolsState guestToolsState(const VMGuestAutomationStatusSnapshot &status);
QString guestToolsStatusSummary(const VMGuestAutomationStatusSnapshot &status, const QDateTime &now);
QString guestToolsVersionText(const VMGuestAutomationStatusSnapshot &status);
QString guestToolsInstructions(const VMGuestAutomationStatusSnapshot &status, const Bundle &bundle);

/// "2 minutes ago", "in 3 hours", "now": the largest whole unit between `then` and `now`.
QString relativeTimeText(const QDateTime &then, const QDateTime &now);

/// What the details pane says after a disk expansion.
QString diskExpansionAutomationMessage(const VMDiskExpansionAutomationOutcome &outcome);

} // namespace VMDetailsTexts
