// SPDX-License-Identifier: MIT
#include "VMInstallSource.h"

VMInstallSource::VMInstallSource(Payload payload)
    : m_payload(std::move(payload))
{
}

VMInstallSource VMInstallSource::catalogRestoreImage(RestoreImageInfo info)
{
    return VMInstallSource(Payload(std::in_place_type<RestoreImageInfo>, std::move(info)));
}

VMInstallSource VMInstallSource::localRestoreImage(QUrl fileURL)
{
    return VMInstallSource(Payload(std::in_place_type<QUrl>, std::move(fileURL)));
}

VMInstallSource VMInstallSource::latestSupportedAutomatic()
{
    return VMInstallSource();
}

std::optional<RestoreImageInfo> VMInstallSource::restoreImageInfo() const
{
    if (const auto *info = std::get_if<RestoreImageInfo>(&m_payload))
        return *info;
    return std::nullopt;
}

std::optional<QUrl> VMInstallSource::fileURL() const
{
    if (const auto *url = std::get_if<QUrl>(&m_payload))
        return *url;
    return std::nullopt;
}

QString VMInstallSource::summary() const
{
    switch (kind()) {
    case Kind::catalogRestoreImage:
        // The catalog is picked automatically from the user's point of view.
        return QStringLiteral("Automatic Restore Image (") + std::get<RestoreImageInfo>(m_payload).displayName + QLatin1Char(')');
    case Kind::localRestoreImage:
        return QStringLiteral("Local Restore Image (") + std::get<QUrl>(m_payload).fileName() + QLatin1Char(')');
    case Kind::latestSupportedAutomatic:
        return QStringLiteral("Latest Supported macOS");
    }
    Q_UNREACHABLE();
}

void to_json(Json &json, const VMInstallSource &source)
{
    JSONObjectWriter writer;
    writer.set("kind", source.kind());
    writer.set("restoreImageInfo", source.restoreImageInfo());
    writer.set("fileURL", source.fileURL());
    json = writer.take();
}

void from_json(const Json &json, VMInstallSource &source)
{
    const JSONObjectReader reader(json);
    switch (reader.required<VMInstallSource::Kind>("kind")) {
    case VMInstallSource::Kind::latestSupportedAutomatic:
        source = VMInstallSource::latestSupportedAutomatic();
        return;
    case VMInstallSource::Kind::catalogRestoreImage:
        source = VMInstallSource::catalogRestoreImage(reader.required<RestoreImageInfo>("restoreImageInfo"));
        return;
    case VMInstallSource::Kind::localRestoreImage:
        source = VMInstallSource::localRestoreImage(reader.required<QUrl>("fileURL"));
        return;
    }
    Q_UNREACHABLE();
}
