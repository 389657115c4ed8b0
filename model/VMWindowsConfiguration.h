// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"

#include <QString>

#include <optional>

/**
 * The QEMU settings of a Windows guest, stored as the bundle's
 * WindowsConfig.json beside its installer image. The three flags are
 * required keys with no defaults: a file lacking one does not decode, and
 * the reader decides what to use instead.
 */
struct VMWindowsConfiguration {
    /// The installer image; new bundles store the bundle-relative name "WindowsInstall.iso".
    std::optional<QString> isoPath;
    bool enableTPM = false;
    bool enableSecureBoot = false;
    /// A virtio driver image for the guest.
    std::optional<QString> virtioDriversPath;
    /// Run QEMU with the host's hardware acceleration.
    bool useHypervisorAcceleration = false;

    bool operator==(const VMWindowsConfiguration &) const = default;
};

void to_json(Json &json, const VMWindowsConfiguration &configuration);
void from_json(const Json &json, VMWindowsConfiguration &configuration);
