// SPDX-License-Identifier: MIT
#pragma once

#include <QCoroTask>

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

/**
 * Waits for a task the way QCoro::waitFor does, but also when it throws:
 * QCoro 0.8's waitFor drops the exception and never returns.
 *
 *     const TaskOutcome<VMBundle> outcome = waitForOutcome(clones.cloneAsync(...));
 *     EXPECT_THROW(outcome.get(), VirtualMachineError);
 */
template <typename T>
struct TaskOutcome {
    std::optional<T> value;
    std::exception_ptr failure;

    /// The task's result, or what it threw, rethrown.
    T get() const
    {
        if (failure)
            std::rethrow_exception(failure);
        return *value;
    }
};

template <>
struct TaskOutcome<void> {
    std::exception_ptr failure;

    void get() const
    {
        if (failure)
            std::rethrow_exception(failure);
    }
};

namespace TaskOutcomeDetail {

template <typename T>
QCoro::Task<TaskOutcome<T>> capture(QCoro::Task<T> task)
{
    TaskOutcome<T> outcome;
    try {
        if constexpr (std::is_void_v<T>)
            co_await task;
        else
            outcome.value = co_await task;
    } catch (...) {
        outcome.failure = std::current_exception();
    }
    co_return outcome;
}

} // namespace TaskOutcomeDetail

template <typename T>
TaskOutcome<T> waitForOutcome(QCoro::Task<T> task)
{
    return QCoro::waitFor(TaskOutcomeDetail::capture(std::move(task)));
}
