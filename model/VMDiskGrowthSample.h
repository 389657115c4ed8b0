// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"

#include <QDateTime>
#include <QtGlobal>

/// One measurement of a bundle's Disk.img: the bytes the host had allocated to it at `date`.
struct VMDiskGrowthSample {
    QDateTime date;
    quint64 allocatedBytes = 0;

    bool operator==(const VMDiskGrowthSample &) const = default;
};

void to_json(Json &json, const VMDiskGrowthSample &sample);
void from_json(const Json &json, VMDiskGrowthSample &sample);
