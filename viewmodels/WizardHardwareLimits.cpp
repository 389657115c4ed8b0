// SPDX-License-Identifier: MIT
#include "WizardHardwareLimits.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double gibibyte = 1073741824.0;
}

WizardHardwareLimits::WizardHardwareLimits(HostCapacity host)
    : m_host(host)
{
}

qint64 WizardHardwareLimits::maximumCPUCount() const
{
    return std::max<qint64>(1, m_host.processorCount);
}

double WizardHardwareLimits::maximumMemoryGB() const
{
    return std::max(1.0, std::floor(double(m_host.physicalMemoryBytes) / gibibyte));
}

double WizardHardwareLimits::minimumMemoryGB(VMGuestOSType guest)
{
    return guest == VMGuestOSType::linux ? 1 : 4;
}

double WizardHardwareLimits::minimumDiskSizeGB(VMGuestOSType guest)
{
    return guest == VMGuestOSType::linux ? 8 : 32;
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
    const double half = std::floor(double(m_host.physicalMemoryBytes) / gibibyte * 0.5);
    return clampedMemoryGB(std::clamp(half, 8.0, 32.0));
}
