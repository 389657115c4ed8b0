// SPDX-License-Identifier: MIT
#include "MacMachineIdentifier.h"

#include "JSONCoding.h"

#include <QRandomGenerator>

#include <array>

namespace {

constexpr char formatName[] = "DuvuzodOvevav.MachineIdentifier";

} // namespace

MacMachineIdentifier::MacMachineIdentifier(QByteArray bytes)
    : m_bytes(std::move(bytes))
{
}

MacMachineIdentifier MacMachineIdentifier::generate()
{
    std::array<quint32, byteCount / sizeof(quint32)> words{};
    QRandomGenerator::system()->fillRange(words.data(), qsizetype(words.size()));
    return MacMachineIdentifier(QByteArray(reinterpret_cast<const char *>(words.data()), byteCount));
}

std::optional<MacMachineIdentifier> MacMachineIdentifier::fromDataRepresentation(const QByteArray &data)
{
    try {
        const Json json = sharedJSONDecoder().parse(data);
        const JSONObjectReader reader(json);
        if (reader.required<QString>("format") != QLatin1String(formatName) || reader.required<qint64>("version") != formatVersion)
            return std::nullopt;
        QByteArray bytes = reader.required<QByteArray>("identifier");
        if (bytes.size() != byteCount)
            return std::nullopt;
        return MacMachineIdentifier(std::move(bytes));
    } catch (const JSONDecodingError &) {
        return std::nullopt;
    }
}

QByteArray MacMachineIdentifier::dataRepresentation() const
{
    JSONObjectWriter writer;
    writer.set("format", QString::fromLatin1(formatName));
    writer.set("identifier", m_bytes);
    writer.set("version", formatVersion);
    return sharedJSONEncoder().encodeJson(writer.take());
}
