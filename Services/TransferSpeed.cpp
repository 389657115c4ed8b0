// SPDX-License-Identifier: MIT
#include "TransferSpeed.h"

#include <algorithm>

void TransferSpeed::sample(qint64 bytes, qint64 now)
{
    if (now <= m_lastSample)
        return;
    const qint64 fresh = bytes - m_lastBytes;
    if (fresh > 0 || m_speed) {
        const double instant = double(std::max<qint64>(fresh, 0)) * 1000.0 / double(now - m_lastSample);
        m_speed = m_speed ? 0.7 * *m_speed + 0.3 * instant : instant;
    }
    if (fresh > 0) {
        m_lastBytes = bytes;
        m_lastArrival = now;
    }
    m_lastSample = now;
}
