// SPDX-License-Identifier: MIT
#pragma once

#include "GuestMemoryLimits.h"
#include "HostCapacity.h"
#include "VMGuestOSType.h"

#include <QtGlobal>

/**
 * The hardware a new VM may ask of this host, in the wizard's units (GB of
 * 2^30 bytes): the bounds of its steppers and the defaults it offers, so
 * that a VM made with the defaults can start on the host that made it.
 *
 * @code
 * const WizardHardwareLimits limits(systemHostCapacity());
 * cpuStepper->setRange(1, limits.maximumCPUCount());
 * @endcode
 */
class WizardHardwareLimits
{
public:
    /// The largest disk the wizard offers: 16 TiB.
    static constexpr double maximumDiskSizeGB = 16384;

    explicit WizardHardwareLimits(HostCapacity host);

    /// The host's processor count, at least 1.
    qint64 maximumCPUCount() const;
    /// The memory rule shared with the settings sheet.
    const GuestMemoryLimits &memory() const { return m_memory; }
    /// Three quarters of the host's memory in whole GB, at least 1 (GuestMemoryLimits).
    double maximumMemoryGB() const;
    static double minimumMemoryGB(VMGuestOSType guest);
    /// 8 GB for Linux, 64 GB for Windows (what its installer asks), 32 GB for macOS.
    static double minimumDiskSizeGB(VMGuestOSType guest);

    qint64 clampedCPUCount(qint64 cpuCount) const;
    double clampedMemoryGB(double memoryGB) const;

    /// A Windows guest's CPUs: 4 below 10 host cores, else half the cores up to 12; never above the host.
    qint64 windowsCPUCount() const;
    /// A Windows guest's memory: half the host's, between 8 and 32 GB; never above the memory rule's maximum.
    double windowsMemoryGB() const;

private:
    HostCapacity m_host;
    GuestMemoryLimits m_memory;
};
