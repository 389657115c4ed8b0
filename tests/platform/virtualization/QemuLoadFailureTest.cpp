// SPDX-License-Identifier: MIT
#include "QemuLoadFailure.h"

#include <gtest/gtest.h>

TEST(QemuLoadFailureTest, OnlyQEMUsVerdictOnTheStreamRejectsAStateNeverAHostFailureOrACrash)
{
    const struct {
        const char *log;
        bool rejects;
    } cases[] = {
        {"qemu-system-aarch64: Not a migration stream\nqemu-system-aarch64: load of migration failed: Invalid argument", true},
        {"qemu-system-aarch64: Unknown savevm section or instance 'virtio-fs' 0\nqemu-system-aarch64: load of migration failed: Invalid argument", true},
        {"qemu-system-aarch64: load of migration failed: Operation not supported", true},
        {"qemu-system-aarch64: load of migration failed: No space left on device", false},
        {"qemu-system-aarch64: load of migration failed: Cannot allocate memory", false},
        {"qemu-system-aarch64: load of migration failed: Input/output error", false},
        {"qemu-system-aarch64: load of migration failed: Permission denied", false},
        {"qemu-system-aarch64: Failed to open file: No such file or directory", false},
        {"qemu-system-aarch64: terminating on signal 9", false},
        {"", false},
    };
    for (const auto &[log, rejects] : cases)
        EXPECT_EQ(QemuLoadFailure::rejectsState(QString::fromUtf8(log)), rejects) << log;
}
