// SPDX-License-Identifier: MIT
#include "RestoreImageCatalog.h"

void to_json(Json &json, const RestoreImageCatalog::Entry &entry)
{
    JSONObjectWriter writer;
    writer.set("displayName", entry.displayName);
    writer.set("version", entry.version);
    writer.set("build", entry.build);
    writer.set("channel", entry.channel);
    writer.set("sourceURL", entry.sourceURL);
    json = writer.take();
}

void from_json(const Json &json, RestoreImageCatalog::Entry &entry)
{
    const JSONObjectReader reader(json);
    entry.displayName = reader.required<QString>("displayName");
    entry.version = reader.required<QString>("version");
    entry.build = reader.required<QString>("build");
    entry.channel = reader.required<RestoreImageCatalog::Entry::Channel>("channel");
    entry.sourceURL = reader.required<QUrl>("sourceURL");
}

void to_json(Json &json, const RestoreImageCatalog &catalog)
{
    JSONObjectWriter writer;
    writer.set("schemaVersion", catalog.schemaVersion);
    writer.set("updatedAt", catalog.updatedAt);
    writer.set("images", catalog.images);
    json = writer.take();
}

void from_json(const Json &json, RestoreImageCatalog &catalog)
{
    const JSONObjectReader reader(json);
    catalog.schemaVersion = reader.required<qint64>("schemaVersion");
    catalog.updatedAt = reader.optional<QDateTime>("updatedAt");
    catalog.images = reader.required<QList<RestoreImageCatalog::Entry>>("images");
}
