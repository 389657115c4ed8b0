// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"
#include "RawValueEnum.h"

#include <QString>
#include <QUrl>

#include <optional>

/**
 * The one restore image chosen for a VM: its names, where it can be fetched,
 * where a local copy lies and how far fetching got. Kept in the metadata, in
 * a catalog install source and as RestoreImages/RestoreImage.json.
 */
struct RestoreImageInfo {
    enum class DownloadState {
        notRequested,
        availableRemotely,
        cachedLocally,
        selectedLocalFile,
        failed,
    };

    QString displayName;
    QString version;
    QString build;
    /// The download location, or the file itself for an image picked on disk.
    std::optional<QUrl> sourceURL;
    std::optional<QUrl> localFileURL;
    DownloadState downloadState = DownloadState::notRequested;

    bool operator==(const RestoreImageInfo &) const = default;
};

template <>
struct RawValues<RestoreImageInfo::DownloadState> {
    using State = RestoreImageInfo::DownloadState;
    static constexpr std::string_view typeName = "DownloadState";
    static constexpr std::array table{
        std::pair{State::notRequested, std::string_view{"notRequested"}},
        std::pair{State::availableRemotely, std::string_view{"availableRemotely"}},
        std::pair{State::cachedLocally, std::string_view{"cachedLocally"}},
        std::pair{State::selectedLocalFile, std::string_view{"selectedLocalFile"}},
        std::pair{State::failed, std::string_view{"failed"}},
    };
};

void to_json(Json &json, const RestoreImageInfo &info);
void from_json(const Json &json, RestoreImageInfo &info);
