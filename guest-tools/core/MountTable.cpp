// SPDX-License-Identifier: MIT
#include "MountTable.h"

#include "GuestFiles.h"

#if defined(__APPLE__)
#include <sys/mount.h>
#include <sys/param.h>
#endif

#include <algorithm>
#include <iterator>
#include <system_error>
#include <vector>

namespace GuestTools::MountTable {

namespace {

/// The mount table is small; a larger one is not a mount table.
constexpr std::size_t maximumMountInfoSize = 4 * 1024 * 1024;

/// A mountinfo field with its octal escapes ("\040" for a blank) turned back into bytes.
std::string unescaped(std::string_view field)
{
    std::string text;
    text.reserve(field.size());
    for (size_t index = 0; index < field.size(); ++index) {
        const auto isOctal = [&](size_t at) { return at < field.size() && field[at] >= '0' && field[at] <= '7'; };
        if (field[index] == '\\' && isOctal(index + 1) && isOctal(index + 2) && isOctal(index + 3)) {
            text.push_back(static_cast<char>(((field[index + 1] - '0') << 6) | ((field[index + 2] - '0') << 3) | (field[index + 3] - '0')));
            index += 3;
        } else {
            text.push_back(field[index]);
        }
    }
    return text;
}

std::vector<std::string_view> fields(std::string_view line)
{
    std::vector<std::string_view> pieces;
    size_t start = 0;
    while (start < line.size()) {
        const size_t end = std::min(line.find(' ', start), line.size());
        if (end > start)
            pieces.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

/// Whether `folder` is `path` or one of the folders it lies in, compared by whole components.
bool holds(const std::filesystem::path &folder, const std::filesystem::path &path)
{
    auto component = path.begin();
    for (const auto &part : folder) {
        if (part.empty())
            continue; // the empty last component of a folder written with a trailing "/"
        if (component == path.end() || *component != part)
            return false;
        ++component;
    }
    return true;
}

/**
 * One line of mountinfo: "id parent major:minor root mount-point options
 * [optional fields...] - type source super-options".
 */
std::optional<MountedFileSystem> parsedLine(std::string_view line)
{
    const auto pieces = fields(line);
    size_t separator = 6;
    while (separator < pieces.size() && pieces[separator] != "-")
        ++separator;
    if (pieces.size() < 5 || separator + 2 >= pieces.size())
        return std::nullopt;
    return MountedFileSystem{unescaped(pieces[separator + 1]), unescaped(pieces[separator + 2]), unescaped(pieces[4])};
}

} // namespace

std::optional<MountedFileSystem> fileSystemHolding(std::string_view mountInfo, const std::filesystem::path &path)
{
    std::optional<MountedFileSystem> closest;
    size_t closestDepth = 0;
    size_t start = 0;
    while (start < mountInfo.size()) {
        const size_t end = std::min(mountInfo.find('\n', start), mountInfo.size());
        auto mounted = parsedLine(mountInfo.substr(start, end - start));
        start = end + 1;
        if (!mounted || !mounted->mountPoint.is_absolute() || !holds(mounted->mountPoint, path))
            continue;
        const size_t depth = static_cast<size_t>(std::distance(mounted->mountPoint.begin(), mounted->mountPoint.end()));
        if (!closest || depth >= closestDepth) {
            closest = std::move(mounted);
            closestDepth = depth;
        }
    }
    return closest;
}

std::optional<MountedFileSystem> fileSystemHolding(const std::filesystem::path &path)
{
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(path, error);
    if (error)
        return std::nullopt;
#if defined(__APPLE__)
    struct statfs status {};
    if (::statfs(real.c_str(), &status) != 0)
        return std::nullopt;
    return MountedFileSystem{status.f_fstypename, status.f_mntfromname, status.f_mntonname};
#else
    try {
        return fileSystemHolding(GuestFiles::readRegularFile("/proc/self/mountinfo", maximumMountInfoSize), real);
    } catch (const std::exception &) {
        return std::nullopt;
    }
#endif
}

} // namespace GuestTools::MountTable
