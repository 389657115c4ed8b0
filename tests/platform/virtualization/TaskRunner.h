// SPDX-License-Identifier: MIT
#pragma once

#include <QCoroTask>
#include <QDeadlineTimer>
#include <QTest>

#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <type_traits>

/**
 * Runs the event loop until a task completes, for at most `timeout`, and
 * returns its result or rethrows its exception. Unlike QCoro::waitFor it
 * gives up: a task that hangs fails the test (std::runtime_error) instead of
 * hanging the suite. A task given up on finishes later on its own.
 */
namespace TaskRunner {

template <typename T>
struct Outcome {
    bool done = false;
    std::exception_ptr error;
    std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> value;
};

template <typename T>
QCoro::Task<> watch(QCoro::Task<T> task, std::shared_ptr<Outcome<T>> outcome)
{
    try {
        if constexpr (std::is_void_v<T>) {
            co_await task;
            outcome->value = true;
        } else {
            outcome->value = co_await task;
        }
    } catch (...) {
        outcome->error = std::current_exception();
    }
    outcome->done = true;
}

template <typename T>
T run(QCoro::Task<T> task, std::chrono::milliseconds timeout = std::chrono::seconds(30))
{
    const auto outcome = std::make_shared<Outcome<T>>();
    const QCoro::Task<> watcher = watch(std::move(task), outcome);
    const QDeadlineTimer deadline(timeout);
    while (!outcome->done && !deadline.hasExpired())
        QTest::qWait(2);
    if (!outcome->done)
        throw std::runtime_error("the task did not finish in time");
    if (outcome->error)
        std::rethrow_exception(outcome->error);
    if constexpr (!std::is_void_v<T>)
        return std::move(*outcome->value);
}

} // namespace TaskRunner
