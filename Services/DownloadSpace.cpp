// SPDX-License-Identifier: MIT
#include "DownloadSpace.h"

#include "DisplayFormatters.h"
#include "FileMeasurements.h"
#include "PlatformError.h"

#include <limits>
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

QString DownloadSpace::neededText(quint64 bytes)
{
    const quint64 needed = bytes > std::numeric_limits<quint64>::max() - reserve ? std::numeric_limits<quint64>::max() : bytes + reserve;
    return DisplayFormatters::byteCountText(needed) + QStringLiteral(" are needed, including a reserve of ") + DisplayFormatters::byteCountText(reserve)
        + QStringLiteral(" kept free");
}
