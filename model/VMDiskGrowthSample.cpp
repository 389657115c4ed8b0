// SPDX-License-Identifier: MIT
#include "VMDiskGrowthSample.h"

void to_json(Json &json, const VMDiskGrowthSample &sample)
{
    JSONObjectWriter writer;
    writer.set("date", sample.date);
    writer.set("allocatedBytes", sample.allocatedBytes);
    json = writer.take();
}

void from_json(const Json &json, VMDiskGrowthSample &sample)
{
    const JSONObjectReader reader(json);
    sample.date = reader.required<QDateTime>("date");
    sample.allocatedBytes = reader.required<quint64>("allocatedBytes");
}
