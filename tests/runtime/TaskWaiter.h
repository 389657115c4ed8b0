// SPDX-License-Identifier: MIT
#pragma once

#include <QCoroTask>
#include <QTest>

#include <chrono>
#include <exception>
#include <memory>
#include <stdexcept>

/**
 * Runs the event loop until a task ends, for at most `timeout`, and gives
 * back what it threw (null when it returned). A task that does not end in
 * time fails the test with std::runtime_error instead of hanging it.
 */
namespace TaskWaiter {

struct State {
    bool done = false;
    std::exception_ptr failure;
};

inline QCoro::Task<> watch(QCoro::Task<> task, std::shared_ptr<State> state)
{
    try {
        co_await task;
    } catch (...) {
        state->failure = std::current_exception();
    }
    state->done = true;
}

inline std::exception_ptr failureOf(QCoro::Task<> task, std::chrono::milliseconds timeout = std::chrono::seconds(30))
{
    const auto state = std::make_shared<State>();
    const QCoro::Task<> watcher = watch(std::move(task), state);
    if (!QTest::qWaitFor([&] { return state->done; }, int(timeout.count())))
        throw std::runtime_error("the task did not finish in time");
    return state->failure;
}

} // namespace TaskWaiter
