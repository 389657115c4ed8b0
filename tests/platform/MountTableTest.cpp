// SPDX-License-Identifier: MIT
#include "MountTable.h"

#include <gtest/gtest.h>

namespace {

TEST(MountTableTest, ParsesMountPointsRootsAndFileSystemNames)
{
    const QByteArray mountinfo = "28 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
                                 "40 28 8:17 / /media/USB\\040Disk rw,nosuid shared:7 master:2 - exfat /dev/sdb1 rw\n"
                                 "41 28 8:17 /vms /srv/vms rw - exfat /dev/sdb1 rw\n"
                                 "42 28 0:44 / /run/user/1000 rw - tmpfs tmpfs rw\n"
                                 "not a mount line\n"
                                 "43 28 0:45 / /broken rw shared:1\n";
    const QHash<QString, QString> uuids { { QStringLiteral("8:17"), QStringLiteral("1A2B-3C4D") } };

    const QList<MountPoint> expected {
        { QStringLiteral("/"), QStringLiteral("/"), QStringLiteral("source:ext4:/dev/vda") },
        { QStringLiteral("/media/USB Disk"), QStringLiteral("/"), QStringLiteral("uuid:1A2B-3C4D") },
        { QStringLiteral("/srv/vms"), QStringLiteral("/vms"), QStringLiteral("uuid:1A2B-3C4D") },
        { QStringLiteral("/run/user/1000"), QStringLiteral("/"), QStringLiteral("source:tmpfs:tmpfs") },
    };
    EXPECT_EQ(MountTable::parse(mountinfo, uuids), expected);
}

} // namespace
