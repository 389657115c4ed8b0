// SPDX-License-Identifier: MIT
#include "AutomationRootLocator.h"

#include <algorithm>
#include <system_error>
#include <utility>
#include <vector>

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

/// Depth-first search of the entries below `folder`, which lies at `depth`.
std::optional<std::filesystem::path> search(const std::filesystem::path &folder, int depth)
{
    for (const Entry &entry : visibleEntries(folder)) {
        if (entry.name == DozizidOdezuConstants::markerFilename)
            return folder;
        // Entries below the deepest level are never looked at, so folders there are not entered.
        if (entry.isDirectory && depth + 1 < AutomationRootLocator::maximumMarkerDepth) {
            if (auto found = search(folder / entry.name, depth + 1))
                return found;
        }
    }
    return std::nullopt;
}

} // namespace

AutomationRootLocator::AutomationRootLocator(std::filesystem::path volumesURL)
    : m_volumesURL(std::move(volumesURL))
{
}

std::optional<std::filesystem::path> AutomationRootLocator::findRoot() const
{
    return search(m_volumesURL, 0);
}

} // namespace GuestTools
