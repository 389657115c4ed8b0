// SPDX-License-Identifier: MIT
#include "RestoreImageInfo.h"

void to_json(Json &json, const RestoreImageInfo &info)
{
    JSONObjectWriter writer;
    writer.set("displayName", info.displayName);
    writer.set("version", info.version);
    writer.set("build", info.build);
    writer.set("sourceURL", info.sourceURL);
    writer.set("localFileURL", info.localFileURL);
    writer.set("downloadState", info.downloadState);
    json = writer.take();
}

void from_json(const Json &json, RestoreImageInfo &info)
{
    const JSONObjectReader reader(json);
    info.displayName = reader.required<QString>("displayName");
    info.version = reader.required<QString>("version");
    info.build = reader.required<QString>("build");
    info.sourceURL = reader.optional<QUrl>("sourceURL");
    info.localFileURL = reader.optional<QUrl>("localFileURL");
    info.downloadState = reader.required<RestoreImageInfo::DownloadState>("downloadState");
}
