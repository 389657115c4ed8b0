// SPDX-License-Identifier: MIT
#pragma once

#include "FileOperations.h"
#include "JSONCoding.h"
#include "LoggingService.h"
#include "UnreadableFile.h"

#include <QFileInfo>
#include <QString>

#include <optional>

/**
 * One application-wide list kept as a JSON file in the product-stem folder
 * (private networks, CI configurations). Loading is silent: a missing,
 * unreadable or undecodable file gives nothing. Saving writes the whole value
 * atomically after creating the folder, and a file that cannot be decoded is
 * first moved aside with a log line, never overwritten, so a list the user
 * may still repair by hand is not lost.
 *
 * @code
 * const StoredJSONFile<VMNetworkTopologyStore> file(productStemFolder() + QStringLiteral("/NetworkTopology.json"), logging, category);
 * const VMNetworkTopologyStore stored = file.load().value_or(VMNetworkTopologyStore {});
 * file.save(stored);
 * @endcode
 */
template <typename Stored>
class StoredJSONFile
{
public:
    StoredJSONFile(QString url, const LoggingService &logging, QString logCategory)
        : m_url(std::move(url))
        , m_logging(logging)
        , m_logCategory(std::move(logCategory))
    {
    }

    const QString &url() const { return m_url; }

    std::optional<Stored> load() const
    {
        try {
            if (FileOperations::itemExists(m_url))
                return sharedJSONDecoder().decode<Stored>(FileOperations::readFile(m_url));
        } catch (const std::exception &) {
        }
        return std::nullopt;
    }

    /// Throws PlatformError when the folder, the move aside or the write fails.
    void save(const Stored &value) const
    {
        FileOperations::createFolders(QFileInfo(m_url).path());
        if (const std::optional<QString> reason = undecodableReason()) {
            const QString aside = UnreadableFile::moveAside(m_url);
            m_logging.log(QFileInfo(m_url).fileName() + QStringLiteral(" could not be read (") + *reason + QStringLiteral("); moved it aside to ")
                              + aside,
                m_logCategory);
        }
        FileOperations::writeAtomically(m_url, sharedJSONEncoder().encode(value));
    }

private:
    /// Why the stored file cannot be decoded; none when it is missing or fine.
    std::optional<QString> undecodableReason() const
    {
        if (!FileOperations::itemExists(m_url))
            return std::nullopt;
        try {
            sharedJSONDecoder().decode<Stored>(FileOperations::readFile(m_url));
            return std::nullopt;
        } catch (const std::exception &error) {
            return QString::fromUtf8(error.what());
        }
    }

    QString m_url;
    const LoggingService &m_logging;
    QString m_logCategory;
};
