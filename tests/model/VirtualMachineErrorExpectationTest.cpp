// SPDX-License-Identifier: MIT
#include "VirtualMachineErrorExpectation.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

using Case = VirtualMachineError::Case;

namespace {

void throwCloneFailed() { throw VirtualMachineError(Case::cloneFailed, QStringLiteral("disk full")); }

} // namespace

TEST(VirtualMachineErrorExpectationTest, AFailedCheckNamesTheExpectedCaseAndWhatCameInstead)
{
    const struct {
        const char *name;
        std::function<void()> operation;
        QString fragment;
        const char *message;
    } rows[] = {
        { "nothing", [] {}, {}, "expected a VirtualMachineError cloneFailed, but nothing was thrown" },
        { "another case", [] { throw VirtualMachineError(Case::backupFailed, QStringLiteral("disk full")); }, {},
            "expected a VirtualMachineError cloneFailed, but it threw VirtualMachineError backupFailed: "
            "The VM backup could not be completed: disk full" },
        { "another text", throwCloneFailed, QStringLiteral("quota"),
            "expected a VirtualMachineError cloneFailed whose description contains \"quota\", "
            "but it threw VirtualMachineError cloneFailed: The VM clone could not be completed: disk full" },
        { "another exception", [] { throw std::runtime_error("boom"); }, {},
            "expected a VirtualMachineError cloneFailed, but it threw another exception: boom" },
    };
    for (const auto &row : rows) {
        const ::testing::AssertionResult result = throwsVirtualMachineError(row.operation, Case::cloneFailed, row.fragment);
        EXPECT_FALSE(result) << row.name;
        EXPECT_STREQ(result.message(), row.message) << row.name;
    }

    EXPECT_TRUE(throwsVirtualMachineError(throwCloneFailed, Case::cloneFailed));
    EXPECT_TRUE(throwsVirtualMachineError(throwCloneFailed, Case::cloneFailed, QStringLiteral("could not be completed: disk")));
}

TEST(VirtualMachineErrorExpectationTest, ATasksFailureIsCheckedLikeACall)
{
    EXPECT_TRUE(throwsVirtualMachineError(std::make_exception_ptr(VirtualMachineError(Case::userCancelled)), Case::userCancelled));
    EXPECT_STREQ(throwsVirtualMachineError(std::exception_ptr(), Case::userCancelled).message(),
        "expected a VirtualMachineError userCancelled, but nothing was thrown");
    EXPECT_EQ(thrownVirtualMachineError(std::make_exception_ptr(VirtualMachineError(Case::runtimeError, QStringLiteral("gone")))).detail(),
        QStringLiteral("gone"));
}

TEST(VirtualMachineErrorExpectationTest, TheThrownErrorIsGivenBackOrTheTestFails)
{
    EXPECT_EQ(thrownVirtualMachineError(throwCloneFailed).detail(), QStringLiteral("disk full"));
    EXPECT_NONFATAL_FAILURE(thrownVirtualMachineError([] {}), "expected a VirtualMachineError, but nothing was thrown");
    EXPECT_NONFATAL_FAILURE(thrownVirtualMachineError([] { throw std::runtime_error("boom"); }),
        "expected a VirtualMachineError, but it threw another exception: boom");
}
