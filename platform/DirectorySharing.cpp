// SPDX-License-Identifier: MIT
#include "DirectorySharing.h"

namespace {

bool isReplaced(char32_t scalar)
{
    return scalar == U'/' || scalar < 0x20 || scalar == 0x7f;
}

/// `text` cut to at most `maximumBytes` of UTF-8, never inside a character.
QString cutToUtf8Bytes(const QString &text, qsizetype maximumBytes)
{
    QString result;
    qsizetype bytes = 0;
    for (const char32_t scalar : text.toUcs4()) {
        const qsizetype length = scalar < 0x80 ? 1 : scalar < 0x800 ? 2 : scalar < 0x10000 ? 3 : 4;
        if (bytes + length > maximumBytes)
            break;
        bytes += length;
        result.append(QString::fromUcs4(&scalar, 1));
    }
    return result;
}

} // namespace

std::optional<QString> MultipleDirectoryShare::canonicalName(QStringView name)
{
    QString replaced;
    replaced.reserve(name.size());
    for (const char32_t scalar : name.trimmed().toUcs4())
        replaced.append(isReplaced(scalar) ? QStringLiteral("-") : QString::fromUcs4(&scalar, 1));

    // Cutting may leave a blank at the end, which the trim takes off again.
    const QString canonical = cutToUtf8Bytes(replaced, maximumNameBytes).trimmed();
    if (canonical.isEmpty() || canonical == QLatin1String(".") || canonical == QLatin1String(".."))
        return std::nullopt;
    return canonical;
}

void MultipleDirectoryShare::insert(const QString &name, const SharedDirectory &directory)
{
    for (Entry &entry : m_entries) {
        if (entry.name == name) {
            entry.directory = directory;
            return;
        }
    }
    m_entries.append(Entry{name, directory});
}

bool MultipleDirectoryShare::contains(const QString &name) const
{
    return directory(name).has_value();
}

std::optional<SharedDirectory> MultipleDirectoryShare::directory(const QString &name) const
{
    for (const Entry &entry : m_entries) {
        if (entry.name == name)
            return entry.directory;
    }
    return std::nullopt;
}

QStringList MultipleDirectoryShare::names() const
{
    QStringList names;
    for (const Entry &entry : m_entries)
        names << entry.name;
    return names;
}
