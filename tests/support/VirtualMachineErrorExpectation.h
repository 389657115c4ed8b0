// SPDX-License-Identifier: MIT
#pragma once

#include "VirtualMachineError.h"

#include <QString>

#include <gtest/gtest.h>

#include <array>
#include <concepts>
#include <exception>
#include <optional>
#include <ostream>
#include <source_location>
#include <sstream>
#include <string>
#include <utility>

/**
 * Checks that an operation fails with a VirtualMachineError of a given case.
 * The operation is a callable, the outcome of a task (waitForOutcome()) or
 * the failure a task left (TaskWaiter::failureOf(), null when it succeeded).
 * A failed check names the expected case and what was thrown instead, or
 * says that nothing was.
 *
 *     EXPECT_TRUE(throwsVirtualMachineError([&] { store().deleteBundle(id); }, VirtualMachineError::Case::invalidOperation));
 *     EXPECT_TRUE(throwsVirtualMachineError(waitForOutcome(clones.cloneAsync(...)), VirtualMachineError::Case::cloneFailed,
 *                                           QStringLiteral("Disk.img")));
 *
 *     const VirtualMachineError error = thrownVirtualMachineError([&] { service.create(...); });
 *     EXPECT_EQ(error.detail(), QStringLiteral("..."));
 */

/// Lets GoogleTest print a case by its name.
inline void PrintTo(VirtualMachineError::Case errorCase, std::ostream *stream)
{
    static constexpr std::array<const char *, VirtualMachineError::caseCount> names {
        "invalidBundle",
        "libraryRegistrationFailed",
        "missingBundleFile",
        "invalidRestoreImage",
        "restoreImageFetchFailed",
        "restoreImageDownloadFailed",
        "diskCreationFailed",
        "auxiliaryStorageFailed",
        "configurationValidationFailed",
        "installFailed",
        "saveStateFailed",
        "savedStateRestoreFailed",
        "cloneFailed",
        "backupFailed",
        "permissionDenied",
        "invalidOperation",
        "runtimeError",
        "unsupportedHost",
        "userCancelled",
    };
    const auto index = std::size_t(errorCase);
    if (index < names.size())
        *stream << names[index];
    else
        *stream << "case " << index;
}

template <typename T> struct TaskOutcome; // TaskOutcome.h, included where tasks are awaited

namespace VirtualMachineErrorExpectation {

/// What an operation threw: the error, or a sentence saying what came instead.
struct Caught {
    std::optional<VirtualMachineError> error;
    std::string instead;
};

template <typename Operation> Caught run(Operation &operation)
{
    try {
        operation();
    } catch (const VirtualMachineError &error) {
        return { error, {} };
    } catch (const std::exception &error) {
        return { std::nullopt, std::string("it threw another exception: ") + error.what() };
    } catch (...) {
        return { std::nullopt, "it threw something that is no std::exception" };
    }
    return { std::nullopt, "nothing was thrown" };
}

inline std::string describe(VirtualMachineError::Case errorCase)
{
    std::ostringstream text;
    PrintTo(errorCase, &text);
    return text.str();
}

inline std::string describe(const VirtualMachineError &error)
{
    return "VirtualMachineError " + describe(error.errorCase()) + ": " + error.errorDescription().toStdString();
}

/// A callable that fails the way the outcome of a task did.
template <typename T> auto rethrowing(const TaskOutcome<T> &outcome)
{
    return [&outcome] { outcome.get(); };
}

inline auto rethrowing(const std::exception_ptr &failure)
{
    return [&failure] {
        if (failure)
            std::rethrow_exception(failure);
    };
}

template <typename Failing>
concept TaskFailure = requires(const Failing &failing)
{
    rethrowing(failing);
};

} // namespace VirtualMachineErrorExpectation

/**
 * Passes when `operation` throws a VirtualMachineError of the `expected` case
 * whose errorDescription() contains `fragment` (any text when it is empty).
 */
template <std::invocable Operation>
::testing::AssertionResult throwsVirtualMachineError(
    Operation &&operation, VirtualMachineError::Case expected, const QString &fragment = {})
{
    using namespace VirtualMachineErrorExpectation;
    const Caught caught = run(operation);
    if (caught.error && caught.error->errorCase() == expected && caught.error->errorDescription().contains(fragment))
        return ::testing::AssertionSuccess();
    ::testing::AssertionResult failure = ::testing::AssertionFailure() << "expected a VirtualMachineError " << describe(expected);
    if (!fragment.isEmpty())
        failure << " whose description contains \"" << fragment.toStdString() << '"';
    return failure << ", but " << (caught.error ? "it threw " + describe(*caught.error) : caught.instead);
}

/// The same for a task's outcome or the failure it left.
template <VirtualMachineErrorExpectation::TaskFailure Failure>
::testing::AssertionResult throwsVirtualMachineError(
    const Failure &failure, VirtualMachineError::Case expected, const QString &fragment = {})
{
    return throwsVirtualMachineError(VirtualMachineErrorExpectation::rethrowing(failure), expected, fragment);
}

/**
 * The VirtualMachineError that `operation` threw, for checks of its detail.
 * When it threw nothing or something else, the test fails at the caller's
 * line and a stand-in comes back: userCancelled, which carries no detail.
 */
template <std::invocable Operation>
VirtualMachineError thrownVirtualMachineError(Operation &&operation, std::source_location caller = std::source_location::current())
{
    VirtualMachineErrorExpectation::Caught caught = VirtualMachineErrorExpectation::run(operation);
    if (caught.error)
        return *std::move(caught.error);
    ADD_FAILURE_AT(caller.file_name(), int(caller.line())) << "expected a VirtualMachineError, but " << caught.instead;
    return VirtualMachineError(VirtualMachineError::Case::userCancelled);
}

/// The same for a task's outcome or the failure it left.
template <VirtualMachineErrorExpectation::TaskFailure Failure>
VirtualMachineError thrownVirtualMachineError(const Failure &failure, std::source_location caller = std::source_location::current())
{
    return thrownVirtualMachineError(VirtualMachineErrorExpectation::rethrowing(failure), caller);
}
