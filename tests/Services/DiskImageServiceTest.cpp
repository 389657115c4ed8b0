// SPDX-License-Identifier: MIT
#include "DiskImageService.h"

#include "ExtendedAttributes.h"
#include "QtPrinters.h"
#include "VirtualMachineError.h"
#include "VirtualMachineErrorExpectation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/xattr.h>

#include <functional>
#include <limits>

namespace {

constexpr quint64 mebibyte = 1'048'576ULL;
constexpr quint64 minimum = 34'359'738'368ULL;

class DiskImageServiceTest : public ::testing::Test
{
protected:
    QString at(const QString &relative) const { return m_directory.path() + QLatin1Char('/') + relative; }
    QString disk() const { return at(QStringLiteral("Bundle.vm/Disk.img")); }

    static QByteArray readAt(const QString &path, qint64 offset, qint64 size)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) && file.seek(offset) ? file.read(size) : QByteArray();
    }

    static void writeAt(const QString &path, qint64 offset, const QByteArray &bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.seek(offset));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    bool userAttributesSupported() const
    {
        return ::setxattr(QFile::encodeName(m_directory.path()).constData(), "user.zovozu.probe", "1", 1, 0) == 0;
    }

    static bool isExcludedFromBackup(const QString &path)
    {
        return ::getxattr(QFile::encodeName(path).constData(), ExtendedAttributes::excludedFromBackupAttribute, nullptr, 0) >= 0;
    }

    QTemporaryDir m_directory;
    DiskImageService m_disks;
};

} // namespace

TEST_F(DiskImageServiceTest, SizesAreRoundedUpToWholeMebibytesAboveTheFloor)
{
    const struct {
        quint64 requested;
        quint64 given;
    } table[] = {
        {minimum, minimum},
        {minimum + 1, 34'360'786'944ULL},
        {minimum + mebibyte - 1, minimum + mebibyte},
        {68'719'476'736ULL, 68'719'476'736ULL},
    };
    for (const auto &row : table)
        EXPECT_EQ(DiskImageService::roundedDiskSize(row.requested), row.given) << row.requested;

    for (const quint64 refused : {quint64(0), minimum - 1, std::numeric_limits<quint64>::max()}) {
        const VirtualMachineError error = thrownVirtualMachineError([&] { DiskImageService::roundedDiskSize(refused); });
        EXPECT_EQ(error.errorCase(), VirtualMachineError::Case::diskCreationFailed) << refused;
    }

    // Both operations apply the floor before touching anything.
    for (const auto &operation : {std::function<void()>([&] { m_disks.createDisk(disk(), minimum - 1); }),
                                  std::function<void()>([&] { m_disks.resizeDisk(disk(), minimum - 1); })}) {
        const VirtualMachineError error = thrownVirtualMachineError(operation);
        EXPECT_EQ(error.errorCase(), VirtualMachineError::Case::diskCreationFailed);
        EXPECT_EQ(error.detail(), QStringLiteral("Disk size must be at least 32 GB for a macOS guest."));
    }
    EXPECT_FALSE(QFileInfo::exists(at(QStringLiteral("Bundle.vm"))));
}

TEST_F(DiskImageServiceTest, ALinuxDiskHasAFloorOfItsOwn)
{
    constexpr quint64 linuxFloor = DiskImageService::minimumLinuxDiskSizeBytes;
    EXPECT_EQ(m_disks.createDisk(disk(), 16 * (quint64(1) << 30), linuxFloor), 16 * (quint64(1) << 30));
    EXPECT_EQ(QFileInfo(disk()).size(), qint64(16) << 30);
    const VirtualMachineError error = thrownVirtualMachineError([&] { m_disks.createDisk(disk(), linuxFloor - 1, linuxFloor); });
    EXPECT_EQ(error.detail(), QStringLiteral("Disk size must be at least 8 GB for a Linux guest."));
}

TEST_F(DiskImageServiceTest, ANewDiskIsSparseMarkedAndReplacesAnOldOne)
{
    EXPECT_EQ(m_disks.createDisk(disk(), 68'719'476'736ULL), 68'719'476'736ULL); // its folder is created too
    const DiskImageService::DiskUsage usage = m_disks.diskUsage(disk());
    EXPECT_EQ(usage.logicalSizeBytes, 68'719'476'736ULL);
    ASSERT_TRUE(usage.allocatedSizeBytes.has_value());
    EXPECT_LT(*usage.allocatedSizeBytes, mebibyte);
    if (userAttributesSupported()) {
        EXPECT_TRUE(isExcludedFromBackup(disk()));
    }

    writeAt(disk(), 0, QByteArray(4 * int(mebibyte), 'x'));
    EXPECT_EQ(m_disks.createDisk(disk(), minimum + 1), minimum + mebibyte);
    EXPECT_EQ(m_disks.diskUsage(disk()).logicalSizeBytes, minimum + mebibyte);
    EXPECT_LT(*m_disks.diskUsage(disk()).allocatedSizeBytes, mebibyte);
    EXPECT_EQ(readAt(disk(), 0, 4), QByteArray(4, '\0'));
}

TEST_F(DiskImageServiceTest, AFolderInThePlaceOfTheDiskIsNeverThrownAway)
{
    ASSERT_TRUE(QDir().mkpath(disk() + QStringLiteral("/keep")));
    const VirtualMachineError error = thrownVirtualMachineError([&] { m_disks.createDisk(disk(), minimum); });
    EXPECT_EQ(error.errorCase(), VirtualMachineError::Case::diskCreationFailed);
    EXPECT_EQ(error.detail(), QStringLiteral("The disk file could not be created."));
    EXPECT_TRUE(QFileInfo(disk() + QStringLiteral("/keep")).isDir());
}

TEST_F(DiskImageServiceTest, GrowingKeepsTheDataAndOnlyEverGrows)
{
    const quint64 current = minimum + 2 * mebibyte;
    m_disks.createDisk(disk(), current);
    const QByteArray data(int(mebibyte), 'd');
    writeAt(disk(), 0, data);
    writeAt(disk(), qint64(current) - 4, "tail");

    // Equal and smaller targets (the smaller one rounding up to the current size, too) are refused.
    for (const quint64 target : {current, current - mebibyte, current - 1}) {
        const VirtualMachineError error = thrownVirtualMachineError([&] { m_disks.resizeDisk(disk(), target); });
        EXPECT_EQ(error.errorCase(), VirtualMachineError::Case::invalidOperation) << target;
        EXPECT_EQ(error.detail(), QStringLiteral("Choose a disk size larger than the current virtual capacity."));
    }
    EXPECT_EQ(m_disks.diskUsage(disk()).logicalSizeBytes, current);

    EXPECT_EQ(m_disks.resizeDisk(disk(), current + 1), current + mebibyte);
    EXPECT_EQ(m_disks.diskUsage(disk()).logicalSizeBytes, current + mebibyte);
    EXPECT_EQ(readAt(disk(), 0, qint64(mebibyte)), data);
    EXPECT_EQ(readAt(disk(), qint64(current) - 4, 4), QByteArray("tail"));
    EXPECT_EQ(readAt(disk(), qint64(current), qint64(mebibyte)), QByteArray(int(mebibyte), '\0'));
    EXPECT_LT(*m_disks.diskUsage(disk()).allocatedSizeBytes, 3 * mebibyte);
}

TEST_F(DiskImageServiceTest, AMissingDiskCannotBeMeasuredOrGrown)
{
    for (const auto &operation : {std::function<void()>([&] { m_disks.diskUsage(disk()); }),
                                  std::function<void()>([&] { m_disks.resizeDisk(disk(), minimum + mebibyte); })}) {
        const VirtualMachineError error = thrownVirtualMachineError(operation);
        EXPECT_EQ(error.errorCase(), VirtualMachineError::Case::missingBundleFile);
        EXPECT_EQ(error.detail(), QStringLiteral("Disk.img"));
    }
    EXPECT_FALSE(QFileInfo::exists(disk()));
}
