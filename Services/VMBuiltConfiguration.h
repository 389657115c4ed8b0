// SPDX-License-Identifier: MIT
#pragma once

#include "VirtualMachineConfiguration.h"

#include <QStringList>

/**
 * What a configuration builder hands back: the validated configuration and
 * the paths whose security-scoped access the build started. Whoever runs a
 * machine from the configuration owns that access and stops it when the
 * machine's session ends.
 */
struct VMBuiltConfiguration {
    VirtualMachineConfiguration configuration;
    QStringList accessedSecurityScopedURLs;

    bool operator==(const VMBuiltConfiguration &) const = default;
};
