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

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <exception>
#include <future>
#include <vector>

namespace SavedMemoryImage {

namespace {

    /// Huge pages and file-system blocks alike start at these boundaries, so the image's holes line up with the memory's.
    constexpr qint64 alignment = qint64(2) << 20;
    constexpr std::array<char, 16> magic{'Z', 'o', 'v', 'o', 'z', 'u', ' ', 'm', 'e', 'm', 'o', 'r', 'y', ' ', 'v', '1'};
    /// The magic, then the image's offset and length, little-endian.
    constexpr qint64 trailerSize = 32;

    /// Threads that copy parts of the memory at once, as QEMU's own save writes with several.
    constexpr int copyThreads = 4;

    /// Copies `length` bytes of `source` at `sourceOffset` to `destination` at `destinationOffset`, holes left out, in parts
    /// of whole 2 MiB blocks on threads of their own.
    void copyInParts(int source, qint64 sourceOffset, int destination, qint64 destinationOffset, qint64 length, const QString &sourcePath,
                     const QString &destinationPath)
    {
        const qint64 part = std::max(alignment, (length / copyThreads + alignment - 1) / alignment * alignment);
        std::vector<std::future<void>> copies;
        for (qint64 start = 0; start < length; start += part) {
            const qint64 size = std::min(part, length - start);
            copies.push_back(std::async(std::launch::async, [=, &sourcePath, &destinationPath] {
                SparseCopy::copyRange(source, sourceOffset + start, destination, destinationOffset + start, size, sourcePath, destinationPath);
            }));
        }
        // Every part is waited for before a failure is passed on: the threads use the descriptors.
        std::exception_ptr failure;
        for (std::future<void> &copy : copies) {
            try {
                copy.get();
            } catch (...) {
                if (!failure)
                    failure = std::current_exception();
            }
        }
        if (failure)
            std::rethrow_exception(failure);
    }

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
    copyInParts(memory.descriptor(), 0, file.get(), offset, length, QStringLiteral("guest memory"), path);

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
    const Location location{qFromLittleEndian<qint64>(trailer.data() + 16), qFromLittleEndian<qint64>(trailer.data() + 24)};
    // Anything else is QEMU's stream that happens to end in the magic, or a damaged file: either way no image.
    if (location.offset <= 0 || location.offset % alignment != 0 || location.length <= 0
        || location.offset + location.length + trailerSize != fileLength)
        return std::nullopt;
    return location;
}

void load(const QString &path, const Location &location, const SharedGuestMemory &memory)
{
    const FileDescriptor file = open(path, O_RDONLY);
    copyInParts(file.get(), location.offset, memory.descriptor(), 0, location.length, path, QStringLiteral("guest memory"));
}

} // namespace SavedMemoryImage
