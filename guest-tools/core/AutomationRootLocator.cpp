// SPDX-License-Identifier: MIT
#include "AutomationRootLocator.h"

#include <algorithm>
#include <array>
#include <system_error>
#include <utility>

namespace GuestTools {

namespace {

struct Entry {
    std::string name;
    bool isDirectory = false;
};

/// The visible entries of a folder in name order; an unreadable folder has none.
std::vector<Entry> visibleEntries(const std::filesystem::path &folder)
{
    std::vector<Entry> entries;
    std::error_code error;
    std::filesystem::directory_iterator iterator(folder, error);
    for (; !error && iterator != std::filesystem::directory_iterator(); iterator.increment(error)) {
        std::string name = iterator->path().filename().string();
        if (name.starts_with('.'))
            continue;
        std::error_code typeError;
        const bool isDirectory = iterator->symlink_status(typeError).type() == std::filesystem::file_type::directory;
        entries.push_back({std::move(name), isDirectory && !typeError});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry &left, const Entry &right) { return left.name < right.name; });
    return entries;
}

/// Depth-first walk below `folder`, which lies at `depth`, adding every folder that holds a marker.
void collectMarkedFolders(const std::filesystem::path &folder, int depth, std::vector<std::filesystem::path> &found)
{
    for (const Entry &entry : visibleEntries(folder)) {
        if (entry.name == DozizidOdezuConstants::markerFilename) {
            found.push_back(folder);
            continue;
        }
        // Entries below the deepest level are never looked at, so folders there are not entered.
        if (entry.isDirectory && depth + 1 < AutomationRootLocator::maximumMarkerDepth)
            collectMarkedFolders(folder / entry.name, depth + 1, found);
    }
}

/// A path as one line of text: volume names are the guest user's choice, line breaks included.
std::string printable(const std::filesystem::path &path)
{
    std::string text = path.string();
    const auto isControl = [](char character) { return static_cast<unsigned char>(character) < 0x20 || character == 0x7f; };
    std::replace_if(text.begin(), text.end(), isControl, '?');
    return text;
}

std::filesystem::path realPath(const std::filesystem::path &path)
{
    std::error_code error;
    std::filesystem::path real = std::filesystem::weakly_canonical(path, error);
    return error ? path.lexically_normal() : real;
}

std::string joined(const std::vector<std::filesystem::path> &paths)
{
    std::string text;
    for (const auto &path : paths)
        text += (text.empty() ? "" : ", ") + printable(path);
    return text;
}

} // namespace

std::string AutomationRootSearch::report() const
{
    std::string text;
    if (hostShares.size() > 1)
        text = "Serving no automation folder: the host's share holds a marker at more than one place: " + joined(hostShares) + ".";
    if (!ignored.empty())
        text += (text.empty() ? "" : " ") + std::string("Ignoring automation markers outside the host's share: ") + joined(ignored) + ".";
    return text;
}

AutomationRootLocator::AutomationRootLocator(std::filesystem::path volumesURL, MountLookup mounts)
    : m_volumesURL(std::move(volumesURL))
    , m_mounts(std::move(mounts))
{
}

MountLookup AutomationRootLocator::systemMounts()
{
    return [](const std::filesystem::path &path) { return MountTable::fileSystemHolding(path); };
}

AutomationRootSearch AutomationRootLocator::search() const
{
    std::vector<std::filesystem::path> marked;
    collectMarkedFolders(m_volumesURL, 0, marked);
    AutomationRootSearch result;
    for (auto &folder : marked)
        (isHostShare(folder) ? result.hostShares : result.ignored).push_back(std::move(folder));
    if (result.hostShares.size() == 1)
        result.root = result.hostShares.front();
    return result;
}

std::optional<std::filesystem::path> AutomationRootLocator::findRoot() const
{
    return search().root;
}

bool AutomationRootLocator::isHostShare(const std::filesystem::path &folder) const
{
    if (folder.filename() != DozizidOdezuConstants::automationShareName || !m_mounts)
        return false;
    const auto mounted = m_mounts(folder);
    if (!mounted || mounted->type != DozizidOdezuConstants::virtioFileSystemType)
        return false;
    constexpr std::array hostTags{DozizidOdezuConstants::macOSGuestShareTag, DozizidOdezuConstants::linuxGuestShareTag};
    if (std::find(hostTags.begin(), hostTags.end(), mounted->source) == hostTags.end())
        return false;
    // At the top of the share: a folder of that name deeper down is one a guest could have made.
    return realPath(mounted->mountPoint) / DozizidOdezuConstants::automationShareName == realPath(folder);
}

} // namespace GuestTools
