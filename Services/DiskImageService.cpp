// SPDX-License-Identifier: MIT
#include "DiskImageService.h"

#include "BundleSkeleton.h"
#include "ExtendedAttributes.h"
#include "FileMeasurements.h"
#include "FileOperations.h"
#include "PlatformError.h"
#include "VirtualMachineError.h"
#include "WritableFile.h"

#include <QFileInfo>

#include <limits>

quint64 DiskImageService::roundedDiskSize(quint64 requestedBytes, quint64 minimumBytes)
{
    if (requestedBytes < minimumBytes && minimumBytes == minimumLinuxDiskSizeBytes)
        throw VirtualMachineError(VirtualMachineError::Case::diskCreationFailed, QStringLiteral("Disk size must be at least 8 GB for a Linux guest."));
    if (requestedBytes < minimumBytes)
        throw VirtualMachineError(VirtualMachineError::Case::diskCreationFailed, QStringLiteral("Disk size must be at least 32 GB for a macOS guest."));
    const quint64 remainder = requestedBytes % sizeGranularityBytes;
    if (remainder == 0)
        return requestedBytes;
    if (requestedBytes > std::numeric_limits<quint64>::max() - (sizeGranularityBytes - remainder))
        throw VirtualMachineError(VirtualMachineError::Case::diskCreationFailed, QStringLiteral("The requested disk size is too large."));
    return requestedBytes + (sizeGranularityBytes - remainder);
}

quint64 DiskImageService::createDisk(const QString &url, quint64 requestedBytes, quint64 minimumBytes) const
{
    const quint64 size = roundedDiskSize(requestedBytes, minimumBytes);
    FileOperations::createFolders(QFileInfo(url).path());
    // An old disk is replaced, never reused. A folder in its place is left alone (its content is not ours to
    // throw away), and the creation below then fails.
    const QFileInfo existing(url);
    if (FileOperations::itemExists(url) && !(existing.isDir() && !existing.isSymLink()))
        FileOperations::removeItem(url);

    std::optional<WritableFile> file;
    try {
        file.emplace(WritableFile::create(url));
    } catch (const PlatformError &) {
        throw VirtualMachineError(VirtualMachineError::Case::diskCreationFailed, QStringLiteral("The disk file could not be created."));
    }
    file->truncate(size);
    try {
        ExtendedAttributes::setExcludedFromBackup(url);
    } catch (const PlatformError &) {
        // The flag only keeps backup tools away from a large file; the disk works without it.
    }
    return size;
}

quint64 DiskImageService::resizeDisk(const QString &url, quint64 requestedBytes) const
{
    const quint64 size = roundedDiskSize(requestedBytes);
    if (diskUsage(url).logicalSizeBytes >= size)
        throw VirtualMachineError::invalidOperation(QStringLiteral("Choose a disk size larger than the current virtual capacity."));
    WritableFile::open(url).truncate(size);
    return size;
}

DiskImageService::DiskUsage DiskImageService::diskUsage(const QString &url) const
{
    if (!FileOperations::itemExists(url))
        throw VirtualMachineError::missingBundleFile(BundleSkeleton::lastPathComponent(url));
    return DiskUsage{FileMeasurements::fileSize(url), FileMeasurements::allocatedSize(url)};
}
