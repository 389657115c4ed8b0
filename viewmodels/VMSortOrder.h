// SPDX-License-Identifier: MIT
#pragma once

#include "RawValueEnum.h"

#include <QString>

/// The orders of the library list, in the order the sort menu shows them.
enum class VMSortOrder {
    dateCreatedNewest,
    dateCreatedOldest,
    dateModifiedNewest,
    name,
    diskSize,
};

template <> struct RawValues<VMSortOrder> {
    static constexpr std::string_view typeName = "VMSortOrder";
    static constexpr std::array table {
        std::pair {VMSortOrder::dateCreatedNewest, std::string_view {"dateCreatedNewest"}},
        std::pair {VMSortOrder::dateCreatedOldest, std::string_view {"dateCreatedOldest"}},
        std::pair {VMSortOrder::dateModifiedNewest, std::string_view {"dateModifiedNewest"}},
        std::pair {VMSortOrder::name, std::string_view {"name"}},
        std::pair {VMSortOrder::diskSize, std::string_view {"diskSize"}},
    };
};

/// The sort menu's text: "Newest First", "Name", ...
QString title(VMSortOrder order);
/// The symbol the sort menu shows beside the title.
QString systemImage(VMSortOrder order);
