// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace GuestTools {

/// The mounted file system that holds a path, as the system's mount table describes it.
struct MountedFileSystem {
    /// The file system's type, such as "virtiofs" or "apfs".
    std::string type;
    /// What was mounted: a device, a server's share, or a virtio file-system device's tag.
    std::string source;
    std::filesystem::path mountPoint;

    bool operator==(const MountedFileSystem &) const = default;
};

/// The file system that holds a path, or nothing when that cannot be told.
using MountLookup = std::function<std::optional<MountedFileSystem>(const std::filesystem::path &)>;

/**
 * Reads the system's mount table: statfs on macOS, /proc/self/mountinfo on
 * Linux. Nothing is cached; a mount made or gone shows at the next call.
 */
namespace MountTable {

/// The file system holding `path` (followed through links to where it really is); nothing when it cannot be told.
std::optional<MountedFileSystem> fileSystemHolding(const std::filesystem::path &path);

/**
 * The entry of a Linux mountinfo text whose mount point holds the absolute,
 * link-free `path` most closely; of entries on the same mount point the last
 * one, which is mounted over the others. Nothing when no entry holds it.
 */
std::optional<MountedFileSystem> fileSystemHolding(std::string_view mountInfo, const std::filesystem::path &path);

} // namespace MountTable

} // namespace GuestTools
