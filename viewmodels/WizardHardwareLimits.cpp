// SPDX-License-Identifier: MIT
#include "WizardHardwareLimits.h"

#include "SizeText.h"

#include <algorithm>
#include <cmath>

WizardHardwareLimits::WizardHardwareLimits(HostCapacity host)
    : m_host(host)
    , m_memory(host)
{
}

qint64 WizardHardwareLimits::maximumCPUCount() const
{
    return std::max<qint64>(1, m_host.processorCount);
}

double WizardHardwareLimits::maximumMemoryGB() const
{
    return m_memory.maximumGB();
}

double WizardHardwareLimits::minimumMemoryGB(VMGuestOSType guest)
{
    return GuestMemoryLimits::minimumGB(guest);
}

double WizardHardwareLimits::minimumDiskSizeGB(VMGuestOSType guest)
{
    switch (guest) {
    case VMGuestOSType::linux:
        return 8;
    case VMGuestOSType::windows:
        // Windows 11 Setup refuses a smaller disk.
        return 64;
    case VMGuestOSType::macOS:
        break;
    }
    return 32;
}

qint64 WizardHardwareLimits::clampedCPUCount(qint64 cpuCount) const
{
    return std::clamp<qint64>(cpuCount, 1, maximumCPUCount());
}

double WizardHardwareLimits::clampedMemoryGB(double memoryGB) const
{
    return std::clamp(memoryGB, 1.0, maximumMemoryGB());
}

qint64 WizardHardwareLimits::windowsCPUCount() const
{
    const qint64 cores = m_host.processorCount;
    return clampedCPUCount(cores < 10 ? 4 : std::min<qint64>(cores / 2, 12));
}

double WizardHardwareLimits::windowsMemoryGB() const
{
    const double half = std::floor(SizeText::gigabytes(m_host.physicalMemoryBytes) * 0.5);
    return clampedMemoryGB(std::clamp(half, 8.0, 32.0));
}
