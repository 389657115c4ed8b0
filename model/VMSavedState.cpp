// SPDX-License-Identifier: MIT
#include "VMSavedState.h"

void to_json(Json &json, const VMSavedState &state)
{
    JSONObjectWriter writer;
    writer.set("relativePath", state.relativePath);
    writer.set("createdAt", state.createdAt);
    writer.set("fileSizeBytes", state.fileSizeBytes);
    json = writer.take();
}

void from_json(const Json &json, VMSavedState &state)
{
    const JSONObjectReader reader(json);
    state.relativePath = reader.required<QString>("relativePath");
    state.createdAt = reader.required<QDateTime>("createdAt");
    state.fileSizeBytes = reader.optional<quint64>("fileSizeBytes");
}
