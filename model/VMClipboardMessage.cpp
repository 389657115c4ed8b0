// SPDX-License-Identifier: MIT
#include "VMClipboardMessage.h"

void to_json(Json &json, const VMClipboardMessage &message)
{
    JSONObjectWriter writer;
    writer.set("id", message.id);
    writer.set("source", message.source);
    writer.set("updatedAt", message.updatedAt);
    writer.set("textBase64", message.textBase64);
    json = writer.take();
}

void from_json(const Json &json, VMClipboardMessage &message)
{
    const JSONObjectReader reader(json);
    message.id = reader.required<QUuid>("id");
    message.source = reader.required<VMClipboardMessageSource>("source");
    message.updatedAt = reader.required<QDateTime>("updatedAt");
    message.textBase64 = reader.required<QString>("textBase64");
}
