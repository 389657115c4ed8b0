// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <optional>

/**
 * One host folder a VM sees inside the guest. A bundle keeps the list of them
 * in SharedFolders.json, a bare JSON array. Identified by `id`.
 */
struct VMSharedFolder {
    QUuid id;
    /// The name the guest sees, before it is made unique among the VM's shares.
    QString displayName;
    /// The host folder as last known.
    QUrl localURL;
    bool isReadOnly = false;
    /// A bookmark of the folder; absent when none could be made.
    std::optional<QByteArray> bookmarkData;

    bool operator==(const VMSharedFolder &) const = default;
};

/**
 * The most shared folders one VM may have. Each is a mount in the guest's
 * file-system daemon and people share a handful; a longer list in a bundle is
 * refused before its records are decoded, and the library never writes one.
 */
inline constexpr qsizetype maximumSharedFolderCount = 1024;

void to_json(Json &json, const VMSharedFolder &folder);
void from_json(const Json &json, VMSharedFolder &folder);
