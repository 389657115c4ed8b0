// SPDX-License-Identifier: MIT
#include "MacHardwareModel.h"

#include "JSONCoding.h"

namespace {

constexpr char formatName[] = "DuvuzodOvevav.HardwareModel";

} // namespace

MacHardwareModel::MacHardwareModel(QByteArray descriptor)
    : m_descriptor(std::move(descriptor))
{
}

std::optional<MacHardwareModel> MacHardwareModel::fromDataRepresentation(const QByteArray &data)
{
    try {
        const Json json = sharedJSONDecoder().parse(data);
        const JSONObjectReader reader(json);
        if (reader.required<QString>("format") != QLatin1String(formatName) || reader.required<qint64>("version") != formatVersion)
            return std::nullopt;
        return MacHardwareModel(reader.required<QByteArray>("descriptor"));
    } catch (const JSONDecodingError &) {
        return std::nullopt;
    }
}

QByteArray MacHardwareModel::dataRepresentation() const
{
    JSONObjectWriter writer;
    writer.set("descriptor", m_descriptor);
    writer.set("format", QString::fromLatin1(formatName));
    writer.set("version", formatVersion);
    return sharedJSONEncoder().encodeJson(writer.take());
}
