// SPDX-License-Identifier: MIT
#pragma once

#include <QSemaphore>
#include <QThreadPool>

#include <utility>

/// Keeps Qt's global thread pool busy until released, so that work handed to it waits.
class BusyThreadPool
{
public:
    BusyThreadPool()
        : m_threads(QThreadPool::globalInstance()->maxThreadCount())
    {
        QThreadPool::globalInstance()->setMaxThreadCount(1);
        QThreadPool::globalInstance()->start([this] { m_gate.acquire(); });
    }
    ~BusyThreadPool()
    {
        release();
        QThreadPool::globalInstance()->waitForDone();
        QThreadPool::globalInstance()->setMaxThreadCount(m_threads);
    }
    BusyThreadPool(const BusyThreadPool &) = delete;
    BusyThreadPool &operator=(const BusyThreadPool &) = delete;

    void release()
    {
        if (!std::exchange(m_released, true))
            m_gate.release();
    }

private:
    int m_threads;
    QSemaphore m_gate;
    bool m_released = false;
};
