// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/// Where a bookmark leads now; `isStale` asks the holder to make the bookmark again.
struct ResolvedBookmark {
    /// The absolute path of the item.
    QString url;
    bool isStale = false;

    bool operator==(const ResolvedBookmark &) const = default;
};
