// SPDX-License-Identifier: MIT
#include "VMSharedFolder.h"

void to_json(Json &json, const VMSharedFolder &folder)
{
    JSONObjectWriter writer;
    writer.set("id", folder.id);
    writer.set("displayName", folder.displayName);
    writer.set("localURL", folder.localURL);
    writer.set("isReadOnly", folder.isReadOnly);
    writer.set("bookmarkData", folder.bookmarkData);
    json = writer.take();
}

void from_json(const Json &json, VMSharedFolder &folder)
{
    const JSONObjectReader reader(json);
    folder.id = reader.required<QUuid>("id");
    folder.displayName = reader.required<QString>("displayName");
    folder.localURL = reader.required<QUrl>("localURL");
    folder.isReadOnly = reader.required<bool>("isReadOnly");
    folder.bookmarkData = reader.optional<QByteArray>("bookmarkData");
}
