// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

/**
 * Makes, grows and measures a VM's virtual disk, the raw image Disk.img:
 * no header, byte n of the file is byte n of the guest's block device, and
 * the file's length is the device's capacity. The image is sparse: it is
 * created empty and given its length by truncation, so making or growing a
 * disk of any size is immediate and ranges the guest never wrote take no
 * space on the host.
 *
 * Sizes given out are whole MiB and at least 32 GiB, for every kind of
 * guest; callers record the returned size, not the requested one. Nothing
 * here checks whether the VM runs, and nothing is logged: failures are
 * thrown as VirtualMachineError or as the host's PlatformError.
 *
 * @code
 * const quint64 size = disks.createDisk(layout.diskImageURL(), 64ULL << 30);
 * const DiskImageService::DiskUsage usage = disks.diskUsage(layout.diskImageURL());
 * @endcode
 */
class DiskImageService
{
public:
    /// What a disk image measures; neither stored nor encoded.
    struct DiskUsage {
        /// The file's length: the capacity the guest sees.
        quint64 logicalSizeBytes = 0;
        /// The bytes the host has allocated to the file; absent when the file system gives no figure.
        std::optional<quint64> allocatedSizeBytes;

        bool operator==(const DiskUsage &) const = default;
    };

    /// 2^35 bytes, "32 GB" in the messages.
    static constexpr quint64 minimumDiskSizeBytes = 34'359'738'368ULL;
    /// 8 GiB: the smallest disk a Linux guest is given.
    static constexpr quint64 minimumLinuxDiskSizeBytes = 8'589'934'592ULL;
    static constexpr quint64 sizeGranularityBytes = 1'048'576ULL;

    /**
     * The size a disk is given for a request: rounded up to whole MiB. A
     * request below the minimum, or one too close to the largest 64-bit
     * count to be rounded up, fails with diskCreationFailed.
     */
    static quint64 roundedDiskSize(quint64 requestedBytes, quint64 minimumBytes = minimumDiskSizeBytes);

    /**
     * Creates an empty sparse disk of the rounded size at `url`, creating its
     * folder and replacing any file already there, and marks it as excluded
     * from backups. Returns the rounded size. A folder at `url` is never
     * removed: creation fails with diskCreationFailed. A failed truncation
     * leaves the empty file in place.
     */
    quint64 createDisk(const QString &url, quint64 requestedBytes, quint64 minimumBytes = minimumDiskSizeBytes) const;

    /**
     * Grows the existing disk at `url` to the rounded size, keeping its
     * content; the added range reads as zeros and takes no space. The disk
     * only ever grows: a target not above the current capacity fails with
     * invalidOperation and leaves the file untouched.
     */
    quint64 resizeDisk(const QString &url, quint64 requestedBytes) const;

    /// The disk's length and allocated bytes; a missing file fails with missingBundleFile naming the file.
    DiskUsage diskUsage(const QString &url) const;
};
