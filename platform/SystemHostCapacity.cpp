// SPDX-License-Identifier: MIT
#include "SystemHostCapacity.h"

#include <unistd.h>

#include <algorithm>

HostCapacity systemHostCapacity()
{
    HostCapacity capacity;
    capacity.processorCount = std::max<qint64>(::sysconf(_SC_NPROCESSORS_CONF), 1);
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0)
        capacity.physicalMemoryBytes = quint64(pages) * quint64(pageSize);
    return capacity;
}
