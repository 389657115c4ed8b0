// SPDX-License-Identifier: MIT
#pragma once

#include <QCoroTask>
#include <QObject>
#include <QProcess>

#include <chrono>
#include <optional>

/**
 * Waits for the first of several signals, with a timeout, without ever
 * hanging on an object that dies: QCoro's own signal awaiting never resumes
 * once its sender is destroyed. Keep the waiter on the stack of the
 * coroutine that waits, and watch before starting what will emit, so that a
 * signal emitted before the wait begins still counts.
 *
 * @code
 * SignalWaiter waiter;
 * waiter.watch(process, &QProcess::finished, exited);
 * waiter.watchDestruction(process, exited);
 * process->terminate();
 * if (co_await waiter.wait(5s) != exited) ...
 * @endcode
 */
class SignalWaiter final : public QObject
{
    Q_OBJECT

public:
    SignalWaiter() = default;

    /// Counts `signal` of `sender` as the outcome `key` when `accept`, given the signal's arguments, says true.
    template <typename Sender, typename Signal, typename Accept>
    void watch(const Sender *sender, Signal signal, int key, Accept accept)
    {
        connect(sender, signal, this, [this, key, accept](const auto &...arguments) {
            if (accept(arguments...))
                settle(key);
        });
    }

    /// Counts every emission of `signal` of `sender` as the outcome `key`.
    template <typename Sender, typename Signal>
    void watch(const Sender *sender, Signal signal, int key)
    {
        watch(sender, signal, key, [](const auto &...) { return true; });
    }

    /// Counts the destruction of `object` as the outcome `key`.
    void watchDestruction(const QObject *object, int key);

    /// Counts a start of `process` that failed (not its other errors) as the outcome `key`.
    void watchFailedStart(const QProcess *process, int key);

    /// Settles on `key` now, unless the waiter has settled already.
    void settle(int key);

    /// The first outcome, waiting up to `timeout` for one; none when the time ran out.
    QCoro::Task<std::optional<int>> wait(std::chrono::milliseconds timeout);

    std::optional<int> outcome() const { return m_outcome; }

Q_SIGNALS:
    void settled();

private:
    std::optional<int> m_outcome;
};
