// SPDX-License-Identifier: MIT
#include "SavedMemoryImage.h"

#include "FileMeasurements.h"
#include "PlatformError.h"
#include "SharedGuestMemory.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 mebibyte = 1024 * 1024;

class SavedMemoryImageTest : public ::testing::Test
{
protected:
    QString at(const QString &relative) const { return m_directory.path() + QLatin1Char('/') + relative; }

    /// A file standing in for QEMU's stream: `size` bytes that are not zero.
    QString stream(qint64 size) const
    {
        const QString path = at(QStringLiteral("MachineState.bin"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(size, 'q')) != size)
            return {};
        return path;
    }

    static void write(const SharedGuestMemory &memory, qint64 offset, const QByteArray &bytes)
    {
        ASSERT_EQ(::pwrite(memory.descriptor(), bytes.constData(), size_t(bytes.size()), offset), ssize_t(bytes.size()));
    }

    static QByteArray read(const SharedGuestMemory &memory, qint64 offset, qint64 size)
    {
        QByteArray bytes(size, Qt::Uninitialized);
        return ::pread(memory.descriptor(), bytes.data(), size_t(size), offset) == ssize_t(size) ? bytes : QByteArray();
    }

    QTemporaryDir m_directory;
};

TEST_F(SavedMemoryImageTest, TheImageFollowsTheStreamAndFillsFreshMemoryWithWhatTheGuestWrote)
{
    const qint64 memorySize = 64 * mebibyte;
    const SharedGuestMemory memory{quint64(memorySize)};
    const QByteArray low(3 * 4096, 'a');
    const QByteArray high(4096, 'z');
    write(memory, 8192, low);
    write(memory, memorySize - high.size(), high);
    const QString path = stream(5 * mebibyte + 17);
    ASSERT_FALSE(path.isEmpty());
    EXPECT_EQ(SavedMemoryImage::locate(path), std::nullopt) << "QEMU's stream alone holds no image";

    SavedMemoryImage::append(path, memory);

    const std::optional<SavedMemoryImage::Location> location = SavedMemoryImage::locate(path);
    ASSERT_TRUE(location);
    EXPECT_EQ(location->offset, 6 * mebibyte) << "the image starts at the 2 MiB boundary after the stream";
    EXPECT_EQ(location->length, memorySize);
    EXPECT_LT(FileMeasurements::allocatedSize(path), quint64(6 * mebibyte)) << "the memory's holes stay holes in the file";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.read(5 * mebibyte + 17), QByteArray(5 * mebibyte + 17, 'q')) << "QEMU's stream is left as it was";

    const SharedGuestMemory restored{quint64(memorySize)};
    SavedMemoryImage::load(path, *location, restored);
    EXPECT_EQ(read(restored, 8192, low.size()), low);
    EXPECT_EQ(read(restored, memorySize - high.size(), high.size()), high);
    EXPECT_EQ(read(restored, 0, 8192), QByteArray(8192, '\0'));
    EXPECT_LE(restored.allocatedBytes(), quint64(low.size() + high.size())) << "pages the guest never used are not allocated";
}

TEST_F(SavedMemoryImageTest, AFileWhoseEndIsNoTrailerOfItsOwnHasNoImage)
{
    const SharedGuestMemory memory{quint64(4 * mebibyte)};
    const QString path = stream(3 * mebibyte);
    ASSERT_FALSE(path.isEmpty());
    SavedMemoryImage::append(path, memory);
    ASSERT_TRUE(SavedMemoryImage::locate(path));

    // A trailer that does not describe this file: the file was cut short, or grown behind it.
    ASSERT_EQ(::truncate(QFile::encodeName(path).constData(), qint64(QFileInfo(path).size()) + 1), 0);
    EXPECT_EQ(SavedMemoryImage::locate(path), std::nullopt);
    const QString tiny = at(QStringLiteral("Tiny.bin"));
    QFile file(tiny);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("QEVM");
    file.close();
    EXPECT_EQ(SavedMemoryImage::locate(tiny), std::nullopt);
    EXPECT_THROW(SavedMemoryImage::locate(at(QStringLiteral("Missing.bin"))), PlatformError);
}

} // namespace
