// SPDX-License-Identifier: MIT
#pragma once

#include "RawValueEnum.h"

#include <QString>

/// How the user chooses to apply a guest update; offered as a radio list in this order. Never stored.
enum class VMMacOSUpdateStrategy {
    manual,
    snapshotThenUpdate,
    snapshotUpdateVerifyRollback,
};

template <>
struct RawValues<VMMacOSUpdateStrategy> {
    static constexpr std::string_view typeName = "VMMacOSUpdateStrategy";
    static constexpr std::array table{
        std::pair{VMMacOSUpdateStrategy::manual, std::string_view{"manual"}},
        std::pair{VMMacOSUpdateStrategy::snapshotThenUpdate, std::string_view{"snapshotThenUpdate"}},
        std::pair{VMMacOSUpdateStrategy::snapshotUpdateVerifyRollback, std::string_view{"snapshotUpdateVerifyRollback"}},
    };
};

/// The strategy's name in the radio list, e.g. "Snapshot + Update".
QString title(VMMacOSUpdateStrategy strategy);

/// The sentence shown under the strategy's name.
QString description(VMMacOSUpdateStrategy strategy);
