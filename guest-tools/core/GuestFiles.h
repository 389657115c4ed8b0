// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

/**
 * The file operations of the guest tools. The other side of the automation
 * folder writes freely into it, so reads never follow a link at the last
 * component, accept regular files only and stop at a size cap; writes
 * replace the target atomically. Failures are ToolsErrors in the POSIX domain.
 */
namespace GuestTools::GuestFiles {

/// The whole content of a regular file of at most `maximumSize` bytes.
std::string readRegularFile(const std::filesystem::path &path, std::size_t maximumSize);

/// Writes `bytes` to a hidden temporary sibling (mode 0644) and renames it over `path`.
void writeAtomically(const std::filesystem::path &path, std::string_view bytes);

/// Creates the folder and any missing parents; an existing folder is no failure.
void createDirectories(const std::filesystem::path &path);

} // namespace GuestTools::GuestFiles
