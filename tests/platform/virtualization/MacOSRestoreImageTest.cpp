// SPDX-License-Identifier: MIT
#include "MacOSRestoreImage.h"

#include "QtPrinters.h"
#include "TaskRunner.h"
#include "VirtualizationError.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

TEST(MacOSRestoreImageTest, NeitherEntryPointYieldsAnImageOnThisHost)
{
    const std::function<QCoro::Task<MacOSRestoreImage>()> entryPoints[] = {
        [] { return MacOSRestoreImage::fetchLatestSupported(); },
        [] { return MacOSRestoreImage::load(QStringLiteral("/images/UniversalMac.ipsw")); },
    };
    for (const auto &entryPoint : entryPoints) {
        try {
            TaskRunner::run(entryPoint());
            ADD_FAILURE() << "a restore image was produced";
        } catch (const VirtualizationError &error) {
            EXPECT_EQ(error.code(), VirtualizationError::Code::notSupported);
            EXPECT_EQ(error.localizedDescription(), MacOSRestoreImage::unavailableDescription());
        }
    }
}

} // namespace
