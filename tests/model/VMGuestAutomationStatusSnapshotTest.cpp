// SPDX-License-Identifier: MIT
#include "VMGuestAutomationStatusSnapshot.h"

#include "RecordTestSupport.h"

using namespace RecordTestSupport;

TEST(VMGuestAutomationStatusSnapshotTest, AvailabilityRawValuesNotInstalledFirst)
{
    expectRawValues<VMGuestAutomationAvailability>(
        {{VMGuestAutomationAvailability::notInstalled, "notInstalled"}, {VMGuestAutomationAvailability::installed, "installed"}});
}

TEST(VMGuestAutomationStatusSnapshotTest, EmptyKnowsNothingAndIsShared)
{
    const auto &empty = VMGuestAutomationStatusSnapshot::empty();
    EXPECT_EQ(&empty, &VMGuestAutomationStatusSnapshot::empty());
    EXPECT_EQ(empty.availability, VMGuestAutomationAvailability::notInstalled);
    EXPECT_EQ(empty.reportedVersion, std::nullopt);
    EXPECT_EQ(empty.lastSeenAt, std::nullopt);
    EXPECT_EQ(empty.pendingRequestCount, 0);
    EXPECT_EQ(empty.latestResponse, std::nullopt);
}
