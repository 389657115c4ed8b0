// SPDX-License-Identifier: MIT
#pragma once

#include "ReclaimAction.h"

#include <QString>
#include <QtGlobal>

/// One clean-up offered to the user, with the space it would free as measured when it was offered.
struct ReclaimRecommendation {
    /// "Snapshot history (2.1 GB)"
    QString description;
    quint64 bytes = 0;
    ReclaimAction action = ReclaimAction::deleteSnapshots;

    bool operator==(const ReclaimRecommendation &) const = default;
};
