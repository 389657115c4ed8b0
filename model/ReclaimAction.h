// SPDX-License-Identifier: MIT
#pragma once

#include "RawValueEnum.h"

/// A clean-up that wins back space inside a VM bundle. Never stored; the raw texts name the action in log lines.
enum class ReclaimAction {
    /// The whole Snapshots folder, timeline included.
    deleteSnapshots,
    /// Everything in RestoreImages except RestoreImage.json.
    deleteRestoreImages,
    /// Everything in Logs; the folder stays.
    clearLogs,
};

template <>
struct RawValues<ReclaimAction> {
    static constexpr std::string_view typeName = "ReclaimAction";
    static constexpr std::array table{
        std::pair{ReclaimAction::deleteSnapshots, std::string_view{"deleteSnapshots"}},
        std::pair{ReclaimAction::deleteRestoreImages, std::string_view{"deleteRestoreImages"}},
        std::pair{ReclaimAction::clearLogs, std::string_view{"clearLogs"}},
    };
};
