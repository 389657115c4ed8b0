// SPDX-License-Identifier: MIT
#include "RecentDestinations.h"

#include "FileOperations.h"
#include "JSONCoding.h"
#include "LoggingService.h"

#include <QDir>
#include <QFileInfo>

namespace {

/// Far more than `capacity` paths take; anything larger is not ours.
constexpr qint64 maximumFileSize = 1024 * 1024;

} // namespace

RecentDestinations::RecentDestinations(QString url, const LoggingService &logging)
    : m_url(std::move(url))
    , m_logging(logging)
{
}

QList<QString> RecentDestinations::folders() const
{
    try {
        if (!FileOperations::itemExists(m_url))
            return {};
        QList<QString> stored = sharedJSONDecoder().decode<QList<QString>>(FileOperations::readFile(m_url, maximumFileSize));
        stored.removeIf([](const QString &folder) { return !QDir::isAbsolutePath(folder); });
        return stored.mid(0, capacity);
    } catch (const std::exception &) {
        return {};
    }
}

void RecentDestinations::remember(const QString &folder) const
{
    const QString cleaned = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    QList<QString> updated = folders();
    updated.removeAll(cleaned);
    updated.prepend(cleaned);
    updated = updated.mid(0, capacity);
    try {
        FileOperations::createFolders(QFileInfo(m_url).path());
        FileOperations::writeAtomically(m_url, sharedJSONEncoder().encode(updated));
    } catch (const std::exception &error) {
        m_logging.log(QStringLiteral("Could not remember %1 as a place to look for leftovers: %2").arg(cleaned, QString::fromUtf8(error.what())),
                      QStringLiteral("Store"));
    }
}
