// SPDX-License-Identifier: MIT
#pragma once

#include <QCoroFuture>
#include <QCoroTask>
#include <QFuture>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

/**
 * Runs a blocking function, such as the copy of a disk image of several GiB,
 * on Qt's global thread pool, so that the GUI thread stays responsive while
 * the awaiting coroutine waits. The coroutine resumes on its own thread with
 * the function's result; whatever the function throws is rethrown there
 * unchanged (a bare QtConcurrent task would wrap it in QUnhandledException).
 *
 * The function and its arguments are copied and run on another thread: they
 * must not refer to objects confined to the GUI thread.
 *
 * @code
 * co_await BackgroundWork::run(&SparseCopy::copyFile, source, destination);
 * @endcode
 *
 * It takes a function and arguments rather than a lambda on purpose: g++ 12
 * destroys a closure written inside a co_await expression twice, so no lambda
 * may appear there. The closure below is a named local for the same reason.
 */
namespace BackgroundWork {

template <typename Function, typename... Args>
QCoro::Task<std::invoke_result_t<Function, Args...>> run(Function function, Args... args)
{
    using Result = std::invoke_result_t<Function, Args...>;
    if constexpr (std::is_void_v<Result>) {
        auto job = [function, args...]() -> std::exception_ptr {
            try {
                std::invoke(function, args...);
                return nullptr;
            } catch (...) {
                return std::current_exception();
            }
        };
        QFuture<std::exception_ptr> future = QtConcurrent::run(std::move(job));
        const std::exception_ptr failure = co_await future;
        if (failure)
            std::rethrow_exception(failure);
    } else {
        struct Outcome {
            std::optional<Result> value;
            std::exception_ptr failure;
        };
        auto job = [function, args...]() -> Outcome {
            try {
                return Outcome{std::invoke(function, args...), nullptr};
            } catch (...) {
                return Outcome{std::nullopt, std::current_exception()};
            }
        };
        QFuture<Outcome> future = QtConcurrent::run(std::move(job));
        Outcome outcome = co_await future;
        if (outcome.failure)
            std::rethrow_exception(outcome.failure);
        co_return std::move(*outcome.value);
    }
}

} // namespace BackgroundWork
