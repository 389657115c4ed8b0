// SPDX-License-Identifier: MIT
#include "GuestMemoryLimits.h"

#include "SizeText.h"

#include <algorithm>
#include <cmath>

GuestMemoryLimits::GuestMemoryLimits(HostCapacity host)
    : m_host(host)
{
}

double GuestMemoryLimits::minimumGB(VMGuestOSType guest)
{
    return guest == VMGuestOSType::linux ? 1 : 4;
}

double GuestMemoryLimits::maximumGB() const
{
    return std::max(1.0, std::floor(SizeText::gigabytes(m_host.physicalMemoryBytes) * 0.75));
}

QString GuestMemoryLimits::limitText() const
{
    const quint64 maximumBytes = quint64(maximumGB()) * SizeText::bytesPerGB;
    const quint64 left = m_host.physicalMemoryBytes > maximumBytes ? m_host.physicalMemoryBytes - maximumBytes : 0;
    return QStringLiteral("At most %1: leaves %2 for this computer.").arg(SizeText::wholeGB(maximumGB()), SizeText::bytes(left));
}

std::optional<QString> GuestMemoryLimits::refusal(double gigabytes, VMGuestOSType guest) const
{
    if (!std::isfinite(gigabytes) || gigabytes <= 0)
        return QStringLiteral("Choose how much memory the VM gets.");
    if (gigabytes < minimumGB(guest))
        return QStringLiteral("%1 needs at least %2 of memory.").arg(displayName(guest), SizeText::wholeGB(minimumGB(guest)));
    if (std::round(gigabytes) > maximumGB())
        return limitText();
    return std::nullopt;
}
