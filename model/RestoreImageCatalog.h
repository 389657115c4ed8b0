// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"
#include "RawValueEnum.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

/**
 * The list of restore images offered for automatic installation, as kept in
 * the fallback catalog file. One entry with an unknown channel makes the
 * whole catalog undecodable.
 */
struct RestoreImageCatalog {
    /// One offered image. Its identity is its build: two entries with the same build are the same item.
    struct Entry {
        enum class Channel {
            regular,
            developerBeta,
            publicBeta,
            seed,
        };

        QString displayName;
        QString version;
        QString build;
        Channel channel = Channel::regular;
        QUrl sourceURL;

        const QString &id() const { return build; }

        bool operator==(const Entry &) const = default;
    };

    qint64 schemaVersion = 0;
    std::optional<QDateTime> updatedAt;
    QList<Entry> images;

    bool operator==(const RestoreImageCatalog &) const = default;
};

template <>
struct RawValues<RestoreImageCatalog::Entry::Channel> {
    using Channel = RestoreImageCatalog::Entry::Channel;
    static constexpr std::string_view typeName = "Channel";
    static constexpr std::array table{
        std::pair{Channel::regular, std::string_view{"regular"}},
        std::pair{Channel::developerBeta, std::string_view{"devbeta"}},
        std::pair{Channel::publicBeta, std::string_view{"pubbeta"}},
        std::pair{Channel::seed, std::string_view{"seed"}},
    };
};

void to_json(Json &json, const RestoreImageCatalog::Entry &entry);
void from_json(const Json &json, RestoreImageCatalog::Entry &entry);
void to_json(Json &json, const RestoreImageCatalog &catalog);
void from_json(const Json &json, RestoreImageCatalog &catalog);
