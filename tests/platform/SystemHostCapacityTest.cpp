// SPDX-License-Identifier: MIT
#include "SystemHostCapacity.h"

#include <QThread>

#include <gtest/gtest.h>

TEST(SystemHostCapacityTest, ReportsThisHost)
{
    const HostCapacity capacity = systemHostCapacity();
    EXPECT_GE(capacity.processorCount, QThread::idealThreadCount());
    EXPECT_GT(capacity.physicalMemoryBytes, 64ULL << 20);
}
