// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUuid>

/**
 * One remembered bundle that lies outside the library root: a bookmark of its
 * folder and the path it had when the bookmark was made. Identified by `id`;
 * every key is required in JSON.
 */
struct TrackedVMBundleReference {
    /// Made when the entry is first created; never changed.
    QUuid id;
    QByteArray bookmarkData;
    /// The standardized folder path; the key by which entries are found, replaced and removed.
    QString lastKnownPath;
    /// When the entry was first created; never changed.
    QDateTime addedAt;

    bool operator==(const TrackedVMBundleReference &) const = default;
};

void to_json(Json &json, const TrackedVMBundleReference &reference);
void from_json(const Json &json, TrackedVMBundleReference &reference);
