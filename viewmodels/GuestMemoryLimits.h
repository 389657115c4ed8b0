// SPDX-License-Identifier: MIT
#pragma once

#include "HostCapacity.h"
#include "VMGuestOSType.h"

#include <QString>

#include <optional>

/**
 * The one rule for how much memory a guest may have, in GB of 2^30 bytes,
 * which the new-VM wizard and the settings sheet both apply: at least 1 GB
 * for Linux and 4 GB for macOS and Windows, and at most three quarters of
 * this computer's memory in whole GB (at least 1), so that the host keeps a
 * quarter for itself, QEMU and the desktop instead of swapping the guest
 * out. limitText() gives the reason at the upper end.
 *
 * @code
 * const GuestMemoryLimits limits(host);        // a 16 GiB host
 * limits.maximumGB();                          // 12
 * limits.limitText();                          // "At most 12 GB: leaves 4 GB for this computer."
 * limits.refusal(3, VMGuestOSType::windows);   // "Windows needs at least 4 GB of memory."
 * @endcode
 */
class GuestMemoryLimits
{
public:
    explicit GuestMemoryLimits(HostCapacity host);

    static double minimumGB(VMGuestOSType guest);
    double maximumGB() const;
    /// "At most N GB: leaves M GB for this computer."
    QString limitText() const;
    /// Why `gigabytes` cannot be given to `guest`; none when it lies within the limits. Checked as stored: rounded to whole GB.
    std::optional<QString> refusal(double gigabytes, VMGuestOSType guest) const;

private:
    HostCapacity m_host;
};
