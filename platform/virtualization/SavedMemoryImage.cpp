// SPDX-License-Identifier: MIT
#include "SavedMemoryImage.h"

#include "FileDescriptor.h"
#include "PlatformError.h"
#include "SharedGuestMemory.h"
#include "SparseCopy.h"

#include <QFile>
#include <QtEndian>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace SavedMemoryImage {

namespace {

    /// Huge pages and file-system blocks alike start at these boundaries, so the image's holes line up with the memory's.
    constexpr qint64 alignment = qint64(2) << 20;
    constexpr std::array<char, 16> magic{'Z', 'o', 'v', 'o', 'z', 'u', ' ', 'm', 'e', 'm', 'o', 'r', 'y', ' ', 'v', '1'};
    /// The magic, then the image's offset and length, little-endian.
    constexpr qint64 trailerSize = 32;

    FileDescriptor open(const QString &path, int flags)
    {
        FileDescriptor file(::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC));
        if (!file.isValid())
            throw PlatformError::posix(errno, path);
        return file;
    }

    qint64 lengthOf(const FileDescriptor &file, const QString &path)
    {
        struct stat status {
        };
        if (::fstat(file.get(), &status) != 0)
            throw PlatformError::posix(errno, path);
        return status.st_size;
    }

} // namespace

void append(const QString &path, const SharedGuestMemory &memory)
{
    const FileDescriptor file = open(path, O_RDWR);
    const qint64 streamEnd = lengthOf(file, path);
    const qint64 offset = (streamEnd + alignment - 1) / alignment * alignment;
    const qint64 length = qint64(memory.size());
    SparseCopy::copyRange(memory.descriptor(), 0, file.get(), offset, length, QStringLiteral("guest memory"), path);

    std::array<char, trailerSize> trailer{};
    std::memcpy(trailer.data(), magic.data(), magic.size());
    qToLittleEndian<qint64>(offset, trailer.data() + 16);
    qToLittleEndian<qint64>(length, trailer.data() + 24);
    if (::pwrite(file.get(), trailer.data(), trailer.size(), offset + length) != trailerSize)
        throw PlatformError::posix(errno == 0 ? EIO : errno, path);
}

std::optional<Location> locate(const QString &path)
{
    const FileDescriptor file = open(path, O_RDONLY);
    const qint64 fileLength = lengthOf(file, path);
    if (fileLength < trailerSize)
        return std::nullopt;
    std::array<char, trailerSize> trailer{};
    if (::pread(file.get(), trailer.data(), trailer.size(), fileLength - trailerSize) != trailerSize)
        throw PlatformError::posix(errno == 0 ? EIO : errno, path);
    if (std::memcmp(trailer.data(), magic.data(), magic.size()) != 0)
        return std::nullopt;
    const Location location {qFromLittleEndian<qint64>(trailer.data() + 16), qFromLittleEndian<qint64>(trailer.data() + 24)};
    // Anything else is QEMU's stream that happens to end in the magic, or a damaged file: either way no image.
    if (location.offset <= 0 || location.offset % alignment != 0 || location.length <= 0
        || location.offset + location.length + trailerSize != fileLength)
        return std::nullopt;
    return location;
}

void load(const QString &path, const Location &location, const SharedGuestMemory &memory)
{
    const FileDescriptor file = open(path, O_RDONLY);
    SparseCopy::copyRange(file.get(), location.offset, memory.descriptor(), 0, location.length, path, QStringLiteral("guest memory"));
}

} // namespace SavedMemoryImage
