// SPDX-License-Identifier: MIT
#pragma once

#include <QCoroTask>
#include <QObject>

#include <exception>
#include <memory>

/**
 * The outcome of one operation that several callers wait for. The caller
 * that runs the operation settles it; every other caller joins and gets
 * the same outcome: it returns, or the same error is rethrown. Held
 * through a shared pointer, so it stays while anyone waits, even after its
 * maker has gone. GUI thread only.
 *
 * @code
 * const auto outcome = std::make_shared<SharedOutcome>();
 * outcome->settle(failure);              // the caller that ran it
 * co_await SharedOutcome::join(outcome); // any other caller
 * @endcode
 */
class SharedOutcome final : public QObject
{
    Q_OBJECT

public:
    SharedOutcome() = default;

    /// Records the outcome (no failure: success) and wakes every caller that joined. Only the first call counts.
    void settle(std::exception_ptr failure);
    bool isSettled() const { return m_settled; }

    /// Returns once the outcome is settled, rethrowing its failure. Waits as long as the operation runs; bound the operation.
    static QCoro::Task<> join(std::shared_ptr<SharedOutcome> outcome);

Q_SIGNALS:
    void settled();

private:
    bool m_settled = false;
    std::exception_ptr m_failure;
};
