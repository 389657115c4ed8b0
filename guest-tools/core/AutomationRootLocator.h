// SPDX-License-Identifier: MIT
#pragma once

#include "DozizidOdezuConstants.h"

#include <filesystem>
#include <optional>

namespace GuestTools {

/**
 * Finds the automation root inside the guest: the folder that holds the
 * marker file, at most four levels below the volumes folder. Searched afresh
 * on every call; nothing is cached, so callers follow the share as it
 * appears, moves or goes.
 */
class AutomationRootLocator
{
public:
    /// The deepest level at which a marker counts; an entry directly in the volumes folder is level 1.
    static constexpr int maximumMarkerDepth = 4;

    explicit AutomationRootLocator(std::filesystem::path volumesURL = std::filesystem::path(DozizidOdezuConstants::volumesPath));

    /**
     * The folder holding the first marker met, or nothing. Entries are visited
     * depth first in name order; hidden entries (leading ".") are neither
     * examined nor entered, links are not followed, unreadable folders are
     * passed over, and a folder named like the marker counts as a marker.
     */
    std::optional<std::filesystem::path> findRoot() const;

private:
    std::filesystem::path m_volumesURL;
};

} // namespace GuestTools
