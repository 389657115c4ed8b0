// SPDX-License-Identifier: MIT
#pragma once

#include "DozizidOdezuConstants.h"
#include "MountTable.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace GuestTools {

/// What one search for the automation root found.
struct AutomationRootSearch {
    /// The host's automation share, when exactly one folder on it holds the marker.
    std::optional<std::filesystem::path> root;
    /// Every folder that is the host's automation share and holds the marker; more than one and none is served.
    std::vector<std::filesystem::path> hostShares;
    /// Folders elsewhere that hold the marker, such as a volume a guest user mounted; never served.
    std::vector<std::filesystem::path> ignored;

    /// A line for the log about what was refused or passed over; empty when there is nothing to say.
    std::string report() const;

    bool operator==(const AutomationRootSearch &) const = default;
};

/**
 * Finds the automation root inside the guest: the folder that holds the
 * marker file, at most four levels below the volumes folder, and that is the
 * host's share: the folder named automationShareName at the top of a virtio
 * file system mounted from one of the host's tags. A marker anywhere else
 * (a disk image or a network volume a guest user mounted, a folder in a
 * shared folder the guest may write to) is passed over, whatever its name,
 * and when the host's share holds a marker at more than one place none of
 * them is served. Searched afresh on every call; nothing is cached, so
 * callers follow the share as it appears, moves or goes.
 */
class AutomationRootLocator
{
public:
    /// The deepest level at which a marker counts; an entry directly in the volumes folder is level 1.
    static constexpr int maximumMarkerDepth = 4;

    explicit AutomationRootLocator(std::filesystem::path volumesURL = std::filesystem::path(DozizidOdezuConstants::volumesPath),
                                   MountLookup mounts = systemMounts());

    /**
     * Every folder holding a marker, sorted into the host's share and the
     * rest. Entries are visited depth first in name order; hidden entries
     * (leading ".") are neither examined nor entered, links are not
     * followed, unreadable folders are passed over, and a folder named like
     * the marker counts as a marker.
     */
    AutomationRootSearch search() const;
    /// The root that search() settles on, or nothing.
    std::optional<std::filesystem::path> findRoot() const;

    /// The system's mount table.
    static MountLookup systemMounts();

private:
    bool isHostShare(const std::filesystem::path &folder) const;

    std::filesystem::path m_volumesURL;
    MountLookup m_mounts;
};

} // namespace GuestTools
