// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"

#include <QDateTime>
#include <QString>

#include <optional>

/**
 * The saved machine state of a bundle (memory and device state written by a
 * save and read back by a restore). A bundle has saved state exactly when its
 * metadata holds one of these.
 */
struct VMSavedState {
    /// Where the state file lies, relative to the bundle folder. Untrusted when
    /// read from disk: join it through VMBundle::Layout::urlForRelativePath.
    QString relativePath;
    QDateTime createdAt;
    /// What the file takes on disk (its allocated bytes), not its length: the
    /// state file is sparse, as long as the guest's memory with only the pages
    /// the guest used written. Absent when unknown.
    std::optional<quint64> fileSizeBytes;

    bool operator==(const VMSavedState &) const = default;
};

void to_json(Json &json, const VMSavedState &state);
void from_json(const Json &json, VMSavedState &state);
