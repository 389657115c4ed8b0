// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"
#include "TrackedVMBundleReference.h"

#include <QList>

/**
 * The whole content of TrackedBundles.json: the remembered bundles in
 * insertion order, stored as an object whose one key is "references".
 */
struct TrackedVMBundleRegistry {
    QList<TrackedVMBundleReference> references;

    bool operator==(const TrackedVMBundleRegistry &) const = default;
};

void to_json(Json &json, const TrackedVMBundleRegistry &registry);
void from_json(const Json &json, TrackedVMBundleRegistry &registry);
