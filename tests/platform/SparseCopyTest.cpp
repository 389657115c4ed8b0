// SPDX-License-Identifier: MIT
#include "SparseCopy.h"
#include "FileDescriptor.h"
#include "FileMeasurements.h"
#include "RawNames.h"
#include "TestFiles.h"
#include "WriteSteps.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <cerrno>

namespace {

constexpr qint64 mebibyte = 1024 * 1024;
constexpr qint64 gibibyte = 1024 * mebibyte;

/// Bytes that differ from block to block, so a copy at the wrong offset shows.
QByteArray pattern(qint64 size, char seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char(seed + i % 251);
    return bytes;
}

QByteArray readAt(const QString &path, qint64 offset, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset))
        return {};
    return file.read(size);
}

void writeAt(const FileDescriptor &file, qint64 offset, const QByteArray &bytes)
{
    ASSERT_EQ(::pwrite(file.get(), bytes.constData(), size_t(bytes.size()), offset), ssize_t(bytes.size()));
}

class SparseCopyTest : public ::testing::Test
{
protected:
    QString at(const QString &relative) const { return m_directory.path() + QLatin1Char('/') + relative; }

    QStringList namesIn(const QString &folder) const
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }

    QTemporaryDir m_directory;
};

TEST_F(SparseCopyTest, A64GiBImageCopiesOnlyItsData)
{
    const QString source = at(QStringLiteral("Disk.img"));
    const QString destination = at(QStringLiteral("Copy.img"));
    const qint64 length = 64 * gibibyte;
    const qint64 firstOffset = gibibyte + 12345;
    const qint64 lastOffset = length - 2 * mebibyte - 321;
    const QByteArray first = pattern(3 * mebibyte, 'a');
    const QByteArray last = pattern(2 * mebibyte, 'k');
    {
        const FileDescriptor file(::open(QFile::encodeName(source).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0640));
        ASSERT_TRUE(file.isValid());
        ASSERT_EQ(::ftruncate(file.get(), length), 0);
        writeAt(file, firstOffset, first);
        writeAt(file, lastOffset, last);
    }
    ASSERT_EQ(::chmod(QFile::encodeName(source).constData(), 0640), 0);

    SparseCopy::copyFile(source, destination);

    EXPECT_EQ(FileMeasurements::fileSize(destination), quint64(length));
    EXPECT_LT(FileMeasurements::allocatedSize(destination), quint64(16 * mebibyte));
    EXPECT_EQ(readAt(destination, firstOffset, first.size()), first);
    EXPECT_EQ(readAt(destination, lastOffset, last.size()), last);
    EXPECT_EQ(readAt(destination, 32 * gibibyte, 4096), QByteArray(4096, '\0'));
    EXPECT_EQ(TestFiles::permissions(destination), mode_t(0640));
    EXPECT_EQ(namesIn(m_directory.path()), (QStringList { QStringLiteral("Copy.img"), QStringLiteral("Disk.img") }));
}

TEST_F(SparseCopyTest, CopyReplacesAnExistingFileAndAFailedCopyLeavesItAlone)
{
    const QString destination = at(QStringLiteral("AuxiliaryStorage"));
    TestFiles::write(at(QStringLiteral("source")), "new");
    TestFiles::write(destination, "old and longer");

    SparseCopy::copyFile(at(QStringLiteral("source")), destination);
    EXPECT_EQ(TestFiles::read(destination), QByteArray("new"));

    const QString missing = at(QStringLiteral("missing"));
    TestFiles::expectPosixError([&] { SparseCopy::copyFile(missing, destination); }, ENOENT, missing);
    EXPECT_EQ(TestFiles::read(destination), QByteArray("new"));
    const QString nowhere = at(QStringLiteral("no-folder/copy"));
    TestFiles::expectPosixError([&] { SparseCopy::copyFile(at(QStringLiteral("source")), nowhere); }, ENOENT, nowhere);
}

TEST_F(SparseCopyTest, AStoppedCopyFailsAsCancelledAndLeavesTheDestinationAsItWas)
{
    const QString destination = at(QStringLiteral("Install.iso"));
    TestFiles::write(at(QStringLiteral("source")), QByteArray(3 << 20, 'i'));
    TestFiles::write(destination, "old");
    const auto stop = std::make_shared<std::atomic_bool>(false);

    // Asked once the copy runs.
    WriteSteps::setHook([stop](WriteSteps::Step step, const QString &) {
        if (step == WriteSteps::Step::copy)
            stop->store(true);
    });
    TestFiles::expectPosixError([&] { SparseCopy::copyFileUnlessStopped(at(QStringLiteral("source")), destination, stop); }, ECANCELED,
                                destination);
    WriteSteps::setHook({});
    EXPECT_EQ(TestFiles::read(destination), QByteArray("old"));
    EXPECT_EQ(namesIn(m_directory.path()), (QStringList {QStringLiteral("Install.iso"), QStringLiteral("source")}));

    stop->store(false);
    SparseCopy::copyFileUnlessStopped(at(QStringLiteral("source")), destination, stop);
    EXPECT_EQ(TestFiles::read(destination), QByteArray(3 << 20, 'i'));
}

TEST_F(SparseCopyTest, TreeCopiesCarryEveryNameByteForByte)
{
    const QString source = at(QStringLiteral("Source.vm"));
    RawNames::plant(source + QStringLiteral("/Automation"));
    SparseCopy::copyTree(source, at(QStringLiteral("Copy.vm")));
    EXPECT_EQ(RawNames::tree(at(QStringLiteral("Copy.vm/Automation"))), RawNames::plantedTree());
    ASSERT_TRUE(QDir().mkpath(at(QStringLiteral("Staged"))));
    SparseCopy::copyTreeInto(source, at(QStringLiteral("Staged")));
    EXPECT_EQ(RawNames::tree(at(QStringLiteral("Staged/Automation"))), RawNames::plantedTree());
}

TEST_F(SparseCopyTest, OnlyRegularFilesAreCopied)
{
    TestFiles::write(at(QStringLiteral("file")), "x");
    TestFiles::makeLink(at(QStringLiteral("file")), at(QStringLiteral("link")));
    TestFiles::makeFifo(at(QStringLiteral("pipe")));

    TestFiles::expectPosixError(
        [&] { SparseCopy::copyFile(at(QStringLiteral("link")), at(QStringLiteral("a"))); }, ELOOP, at(QStringLiteral("link")));
    TestFiles::expectPosixError([&] { SparseCopy::copyFile(m_directory.path(), at(QStringLiteral("b"))); }, EISDIR, m_directory.path());
    TestFiles::expectPosixError(
        [&] { SparseCopy::copyFile(at(QStringLiteral("pipe")), at(QStringLiteral("c"))); }, EINVAL, at(QStringLiteral("pipe")));
}

TEST_F(SparseCopyTest, TreeCopyRecreatesFoldersAndLinksWithoutFollowingThem)
{
    const QString source = at(QStringLiteral("Source.vm"));
    const QString copy = at(QStringLiteral("Backup.vm"));
    TestFiles::write(source + QStringLiteral("/Metadata.json"), "{}");
    TestFiles::write(source + QStringLiteral("/.hidden"), "hidden");
    TestFiles::write(source + QStringLiteral("/Snapshots/one/Disk.img"), "disk");
    TestFiles::write(at(QStringLiteral("outside/secret")), "secret");
    TestFiles::makeLink(QStringLiteral("../../outside"), source + QStringLiteral("/Snapshots/linked"));
    TestFiles::makeFifo(source + QStringLiteral("/pipe"));
    ASSERT_EQ(::chmod(QFile::encodeName(source + QStringLiteral("/Snapshots")).constData(), 0750), 0);

    SparseCopy::copyTree(source, copy);

    EXPECT_EQ(namesIn(copy), (QStringList { QStringLiteral(".hidden"), QStringLiteral("Metadata.json"), QStringLiteral("Snapshots") }));
    EXPECT_EQ(TestFiles::read(copy + QStringLiteral("/Snapshots/one/Disk.img")), QByteArray("disk"));
    EXPECT_EQ(TestFiles::read(copy + QStringLiteral("/.hidden")), QByteArray("hidden"));
    EXPECT_EQ(QFileInfo(copy + QStringLiteral("/Snapshots/linked")).symLinkTarget(), at(QStringLiteral("outside")));
    EXPECT_EQ(TestFiles::permissions(copy + QStringLiteral("/Snapshots")), mode_t(0750));
    TestFiles::expectPosixError([&] { SparseCopy::copyTree(source, copy); }, EEXIST, copy);
}

TEST_F(SparseCopyTest, ACopyIntoAPreparedFolderKeepsWhatItHeldAndTakesTheSourcesBits)
{
    const QString source = at(QStringLiteral("Source.vm"));
    const QString prepared = at(QStringLiteral(".Copy.staging"));
    TestFiles::write(source + QStringLiteral("/Metadata.json"), "{}");
    TestFiles::write(source + QStringLiteral("/Logs/app.log"), "log");
    TestFiles::write(source + QStringLiteral("/marker"), "theirs");
    ASSERT_EQ(::chmod(QFile::encodeName(source).constData(), 0750), 0);
    TestFiles::write(prepared + QStringLiteral("/marker"), "mine");

    SparseCopy::copyTreeInto(source, prepared);

    EXPECT_EQ(namesIn(prepared), (QStringList { QStringLiteral("Logs"), QStringLiteral("Metadata.json"), QStringLiteral("marker") }));
    EXPECT_EQ(TestFiles::read(prepared + QStringLiteral("/Logs/app.log")), QByteArray("log"));
    EXPECT_EQ(TestFiles::read(prepared + QStringLiteral("/marker")), QByteArray("mine"));
    EXPECT_EQ(TestFiles::permissions(prepared), mode_t(0750));

    // The folder must be there, and be a folder rather than a link to one.
    TestFiles::expectPosixError([&] { SparseCopy::copyTreeInto(source, at(QStringLiteral("missing"))); }, ENOENT, at(QStringLiteral("missing")));
    TestFiles::makeLink(prepared, at(QStringLiteral("linked")));
    TestFiles::expectPosixError([&] { SparseCopy::copyTreeInto(source, at(QStringLiteral("linked"))); }, ENOTDIR, at(QStringLiteral("linked")));
}

TEST_F(SparseCopyTest, ARangeCopyKeepsHolesAndZerosOutOfBothFilesAndCopiesTheDataExactly)
{
    // Guest memory in a memfd, copied into a state file behind other data, then back into a fresh memfd.
    const qint64 length = 64 * mebibyte;
    const QByteArray first = pattern(3 * mebibyte + 4096, 'a');
    const QByteArray last = pattern(64 * 1024, 'k');
    const qint64 firstOffset = 16 * mebibyte;
    const qint64 lastOffset = length - last.size();
    const FileDescriptor memory(::memfd_create("guest-memory", MFD_CLOEXEC));
    ASSERT_TRUE(memory.isValid());
    ASSERT_EQ(::ftruncate(memory.get(), length), 0);
    writeAt(memory, firstOffset, first);
    writeAt(memory, lastOffset, last);
    // Touched but zero: allocated in the memfd, yet nothing worth keeping.
    writeAt(memory, 40 * mebibyte, QByteArray(8 * mebibyte, '\0'));

    const QString stateFile = at(QStringLiteral("State.bin"));
    const FileDescriptor state(::open(QFile::encodeName(stateFile).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    ASSERT_TRUE(state.isValid());
    const QByteArray header = pattern(5000, 'h');
    writeAt(state, 0, header);
    const qint64 imageOffset = 2 * mebibyte;

    SparseCopy::copyRange(memory.get(), 0, state.get(), imageOffset, length, QStringLiteral("memory"), stateFile);

    EXPECT_EQ(FileMeasurements::fileSize(stateFile), quint64(imageOffset + length));
    EXPECT_LT(FileMeasurements::allocatedSize(stateFile), quint64(6 * mebibyte));
    EXPECT_EQ(readAt(stateFile, 0, header.size()), header);
    EXPECT_EQ(readAt(stateFile, imageOffset + firstOffset, first.size()), first);
    EXPECT_EQ(readAt(stateFile, imageOffset + lastOffset, last.size()), last);

    const FileDescriptor restored(::memfd_create("restored-memory", MFD_CLOEXEC));
    ASSERT_TRUE(restored.isValid());
    ASSERT_EQ(::ftruncate(restored.get(), length), 0);
    SparseCopy::copyRange(state.get(), imageOffset, restored.get(), 0, length, stateFile, QStringLiteral("restored memory"));

    struct stat status {
    };
    ASSERT_EQ(::fstat(restored.get(), &status), 0);
    EXPECT_LT(quint64(status.st_blocks) * 512, quint64(6 * mebibyte));
    QByteArray whole(length, Qt::Uninitialized);
    ASSERT_EQ(::pread(restored.get(), whole.data(), size_t(length), 0), ssize_t(length));
    QByteArray expected(length, '\0');
    expected.replace(firstOffset, first.size(), first);
    expected.replace(lastOffset, last.size(), last);
    EXPECT_TRUE(whole == expected);
}

} // namespace
