// SPDX-License-Identifier: MIT
#include "VMDeletionTexts.h"

#include "TestBundle.h"

#include <gtest/gtest.h>

namespace {

TEST(VMDeletionTextsTest, TwoVMsOfOneNameAreToldApartByTheirFolders)
{
    const VMBundle first = TestBundle::in(QStringLiteral("/home/me/VMs"), QStringLiteral("Build Box")).named(QStringLiteral("Build Box"));
    const VMBundle second = TestBundle::in(QStringLiteral("/media/ssd"), QStringLiteral("Build Box")).named(QStringLiteral("Build Box"));
    EXPECT_EQ(VMDeletionTexts::title(first), QStringLiteral("Delete “Build Box”?"));
    EXPECT_EQ(VMDeletionTexts::message(first), QStringLiteral("This removes “Build Box” and its bundle from disk: %1").arg(first.bundleURL));
    EXPECT_TRUE(VMDeletionTexts::message(second).endsWith(second.bundleURL));
    EXPECT_NE(VMDeletionTexts::message(first), VMDeletionTexts::message(second));
}

} // namespace
