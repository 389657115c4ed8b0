// SPDX-License-Identifier: MIT
#include "DownloadSpace.h"

#include "FileMeasurements.h"
#include "PlatformError.h"

#include <utility>

DownloadSpace::DownloadSpace(QString folder, Measure measure)
    : m_folder(std::move(folder))
    , m_measure(measure ? std::move(measure) : Measure(&FileMeasurements::availableSpace))
{
}

bool DownloadSpace::allows(quint64 bytes) const
{
    quint64 available = 0;
    try {
        available = m_measure(m_folder);
    } catch (const PlatformError &) {
        return true;
    }
    return available >= reserve && available - reserve >= bytes;
}
