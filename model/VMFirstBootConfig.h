// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"

#include <QList>
#include <QString>

#include <optional>

/**
 * A VM's first-boot bootstrap: a script and further files in the bundle that
 * the guest runs for its first-run set-up. Stored as Bootstrap/manifest.json.
 *
 * The relative paths are plain text as read from the bundle and so are
 * untrusted: join them only through VMBundle::Layout::urlForRelativePath.
 */
struct VMFirstBootConfig {
    bool enabled = false;
    /// The script, relative to the bundle folder; absent when the bundle holds none.
    std::optional<QString> scriptRelativePath;
    /// Further payload files, relative to the bundle folder, in the order given.
    QList<QString> additionalFilesRelativePaths;
    bool runOnce = false;
    QString notes;

    bool operator==(const VMFirstBootConfig &) const = default;
};

void to_json(Json &json, const VMFirstBootConfig &config);
void from_json(const Json &json, VMFirstBootConfig &config);
