// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"

#include <QString>

#include <optional>

/**
 * How a Linux guest boots, stored as the bundle's LinuxBoot.json. A guest
 * that boots through EFI from an ISO has an empty `kernelPath` and no
 * initial ramdisk. Every key but `initialRamdiskPath` is required.
 */
struct VMLinuxBootConfiguration {
    QString kernelPath;
    std::optional<QString> initialRamdiskPath;
    QString commandLine;
    bool useRosetta = false;

    bool operator==(const VMLinuxBootConfiguration &) const = default;
};

void to_json(Json &json, const VMLinuxBootConfiguration &configuration);
void from_json(const Json &json, VMLinuxBootConfiguration &configuration);
