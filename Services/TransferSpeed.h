// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <optional>

/**
 * The speed of a transfer, from samples of the bytes it received so far. It
 * is smoothed (0.7 of the speed so far, 0.3 of the last interval's) so that
 * the speed and the time remaining shown do not jump, and every interval
 * counts, also one in which nothing arrived: the speed of a stalled transfer
 * falls instead of staying at its last value, and once nothing has arrived
 * for `stallTime` the transfer counts as stalled, when no time remaining can
 * be promised. Times are milliseconds of any steady clock.
 *
 * @code
 * TransferSpeed speed(3000);
 * speed.sample(transfer.written(), clock.elapsed());
 * if (speed.bytesPerSecond() && !speed.isStalled())
 *     remaining = left / *speed.bytesPerSecond();
 * @endcode
 */
class TransferSpeed
{
public:
    explicit TransferSpeed(qint64 stallTime)
        : m_stallTime(stallTime)
    {
    }

    /// Bytes received since the start, at `now` (after the start, at 0).
    void sample(qint64 bytes, qint64 now);

    /// None until the first bytes arrived.
    std::optional<double> bytesPerSecond() const { return m_speed; }
    /// Whether nothing arrived for the stall time (before the first byte, too).
    bool isStalled() const { return m_lastSample - m_lastArrival >= m_stallTime; }

private:
    const qint64 m_stallTime;
    std::optional<double> m_speed;
    qint64 m_lastBytes = 0;
    qint64 m_lastSample = 0;
    qint64 m_lastArrival = 0;
};
