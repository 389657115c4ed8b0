// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QtGlobal>

/// One sample of a running VM's use of the host, taken once a second. Lives only in memory.
struct VMPerformanceMetrics {
    QDateTime timestamp;
    double cpuUsagePercent = 0;
    quint64 memoryUsedBytes = 0;
    quint64 memoryTotalBytes = 0;
    double diskReadBytesPerSecond = 0;
    double diskWriteBytesPerSecond = 0;
    double networkSentBytesPerSecond = 0;
    double networkReceivedBytesPerSecond = 0;
    /// Whether the two network rates were measured; QEMU's user-mode (NAT) network keeps no counter, so they are 0 and not to be shown as a rate.
    bool networkRatesAvailable = false;

    /**
     * The empty sample: every figure 0, stamped with the moment it was
     * first asked for. It is made once and keeps that timestamp for the
     * life of the process, so views can tell it apart from a real sample.
     */
    static const VMPerformanceMetrics &zero();
};
