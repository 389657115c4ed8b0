// SPDX-License-Identifier: MIT
#include "core/MountTable.h"

#include "GuestTestSupport.h"

using namespace GuestTools;
using namespace GuestTestSupport;

TEST(MountTableTest, TheClosestMountPointHoldsAPath)
{
    const std::string mountInfo = "22 1 254:1 / / rw,relatime shared:1 - ext4 /dev/vda1 rw\n"
                                  "36 22 0:32 / /Volumes/My\\040Shared\\040Files rw,nosuid - virtiofs com.apple.virtio-fs.automount rw\n"
                                  "37 22 0:33 / /Volumes/My\\040Shared\\040Files\\0402 rw - virtiofs other-tag rw\n"
                                  "38 36 0:34 / /Volumes/My\\040Shared\\040Files/over rw - tmpfs tmpfs rw\n"
                                  "39 22 0:35 / /mnt rw - tmpfs first rw\n"
                                  "40 22 8:17 / /mnt rw - ext4 /dev/sdb1 rw\n"
                                  "41 22 8:33 / /opt rw shared:3 master:4 - xfs /dev/sdc1 rw\n"
                                  "not a mount line\n"
                                  "42 22 0:36 / relative rw - tmpfs relative rw";
    const MountedFileSystem root{"ext4", "/dev/vda1", "/"};
    const MountedFileSystem share{"virtiofs", "com.apple.virtio-fs.automount", "/Volumes/My Shared Files"};
    const struct {
        const char *path;
        MountedFileSystem expected;
    } cases[] = {
        {"/", root},
        {"/Volumes/My Shared Files", share},
        {"/Volumes/My Shared Files/KestrumAutomation", share},
        // Mount points are matched by whole components.
        {"/Volumes/My Shared Filesx/KestrumAutomation", root},
        {"/Volumes/My Shared Files 2/KestrumAutomation", {"virtiofs", "other-tag", "/Volumes/My Shared Files 2"}},
        {"/Volumes/My Shared Files/over/KestrumAutomation", {"tmpfs", "tmpfs", "/Volumes/My Shared Files/over"}},
        // The later of two mounts on one place is the one on top.
        {"/mnt/data", {"ext4", "/dev/sdb1", "/mnt"}},
        {"/opt", {"xfs", "/dev/sdc1", "/opt"}},
    };
    for (const auto &entry : cases)
        EXPECT_EQ(MountTable::fileSystemHolding(mountInfo, entry.path), entry.expected) << entry.path;
    EXPECT_EQ(MountTable::fileSystemHolding("", "/"), std::nullopt);
}

TEST(MountTableTest, TheSystemTellsWhatHoldsAFolder)
{
    const TemporaryDirectory directory;
    const auto mounted = MountTable::fileSystemHolding(directory.path());
    ASSERT_TRUE(mounted);
    EXPECT_FALSE(mounted->type.empty());
    const fs::path relative = fs::canonical(directory.path()).lexically_relative(mounted->mountPoint);
    ASSERT_FALSE(relative.empty()) << mounted->mountPoint;
    EXPECT_NE(*relative.begin(), "..") << mounted->mountPoint;
    EXPECT_EQ(MountTable::fileSystemHolding(directory.path() / "missing"), std::nullopt);
}
