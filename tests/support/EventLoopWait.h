// SPDX-License-Identifier: MIT
#pragma once

#include <QDeadlineTimer>
#include <QTest>

#include <chrono>
#include <functional>

namespace EventLoopWait {

/// Runs the event loop until `condition` holds; false when `timeout` passed first.
inline bool waitUntil(const std::function<bool()> &condition, std::chrono::milliseconds timeout = std::chrono::seconds(5))
{
    const QDeadlineTimer deadline(timeout);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(5);
    }
    return true;
}

} // namespace EventLoopWait
