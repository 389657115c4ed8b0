// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <functional>

/// The size of the host: what the largest templates are scaled to.
struct HostCapacity {
    /// The processing cores the host reports.
    qint64 processorCount = 0;
    quint64 physicalMemoryBytes = 0;

    bool operator==(const HostCapacity &) const = default;
};

/// Where the host's capacity is read from; tests pass a fixed one.
using HostCapacitySource = std::function<HostCapacity()>;
