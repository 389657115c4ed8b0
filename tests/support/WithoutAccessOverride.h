// SPDX-License-Identifier: MIT
#pragma once

#include <QSemaphore>
#include <QThreadPool>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

/**
 * While it lives, the calling thread and every thread of Qt's global pool
 * work without the capabilities by which root reads and lists any folder
 * (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH), so that an item with mode 000 is
 * as unreadable to the test as it is to every other user. Capabilities
 * belong to threads, so each pool thread gives up its own; new threads
 * inherit the state of the thread that starts them.
 *
 * Without root there is nothing to give up and the object does nothing;
 * isActive() is false only when root could not give the capabilities up.
 *
 *     const WithoutAccessOverride noOverride;
 *     if (!noOverride.isActive())
 *         GTEST_SKIP() << "...";
 */
class WithoutAccessOverride
{
public:
    WithoutAccessOverride()
    {
        if (::geteuid() != 0)
            return;
        m_active = setOverride(false);
        if (m_active)
            m_active = onEveryPoolThread(false);
    }
    ~WithoutAccessOverride()
    {
        if (::geteuid() != 0)
            return;
        setOverride(true);
        onEveryPoolThread(true);
    }
    WithoutAccessOverride(const WithoutAccessOverride &) = delete;
    WithoutAccessOverride &operator=(const WithoutAccessOverride &) = delete;

    bool isActive() const { return m_active; }

private:
    static constexpr unsigned overrideBits = (1U << CAP_DAC_OVERRIDE) | (1U << CAP_DAC_READ_SEARCH);

    /// Sets the effective bits of the calling thread only (the raw call: glibc would not spread it).
    static bool setOverride(bool enabled)
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
        if (::syscall(SYS_capget, &header, data) != 0)
            return false;
        if (enabled)
            data[0].effective |= data[0].permitted & overrideBits;
        else
            data[0].effective &= ~overrideBits;
        return ::syscall(SYS_capset, &header, data) == 0;
    }

    /// Runs as many tasks as the pool has threads, all at once, so each thread sets its own bits.
    static bool onEveryPoolThread(bool enabled)
    {
        QThreadPool &pool = *QThreadPool::globalInstance();
        const int threads = pool.maxThreadCount();
        QSemaphore started;
        QSemaphore release;
        std::atomic<bool> allSet = true;
        QSemaphore results;
        for (int index = 0; index < threads; ++index) {
            pool.start([&] {
                const bool set = setOverride(enabled);
                started.release();
                release.acquire();
                if (!set)
                    allSet = false;
                results.release();
            });
        }
        // Every task holds its thread until all have started: no thread runs two of them.
        const bool allStarted = started.tryAcquire(threads, 30'000);
        release.release(threads);
        results.acquire(threads);
        return allStarted && allSet;
    }

    bool m_active = true;
};
