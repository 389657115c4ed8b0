// SPDX-License-Identifier: MIT
#include "TrackedVMBundleReference.h"

void to_json(Json &json, const TrackedVMBundleReference &reference)
{
    JSONObjectWriter writer;
    writer.set("id", reference.id);
    writer.set("bookmarkData", reference.bookmarkData);
    writer.set("lastKnownPath", reference.lastKnownPath);
    writer.set("addedAt", reference.addedAt);
    json = writer.take();
}

void from_json(const Json &json, TrackedVMBundleReference &reference)
{
    const JSONObjectReader reader(json);
    reference.id = reader.required<QUuid>("id");
    reference.bookmarkData = reader.required<QByteArray>("bookmarkData");
    reference.lastKnownPath = reader.required<QString>("lastKnownPath");
    reference.addedAt = reader.required<QDateTime>("addedAt");
}
