// SPDX-License-Identifier: MIT
#include "TrackedVMBundleRegistry.h"

void to_json(Json &json, const TrackedVMBundleRegistry &registry)
{
    JSONObjectWriter writer;
    writer.set("references", registry.references);
    json = writer.take();
}

void from_json(const Json &json, TrackedVMBundleRegistry &registry)
{
    registry.references = JSONObjectReader(json).required<QList<TrackedVMBundleReference>>("references");
}
