// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"
#include "RawValueEnum.h"
#include "RestoreImageInfo.h"

#include <QString>
#include <QUrl>

#include <optional>
#include <variant>

/**
 * Where the restore image of a macOS guest comes from: an entry of the
 * catalog (with its RestoreImageInfo), a file on the user's disks (with its
 * location), or the latest image the host reports as supported, resolved at
 * install time (with nothing). A default-made source is the latter.
 *
 * In JSON it is an object with the discriminator "kind" and at most one
 * payload key, "restoreImageInfo" or "fileURL"; keys that do not belong to
 * the kind are ignored on reading and dropped on writing.
 */
class VMInstallSource
{
public:
    /// The JSON discriminator; its order is also the case order of comparisons.
    enum class Kind {
        latestSupportedAutomatic,
        catalogRestoreImage,
        localRestoreImage,
    };

    VMInstallSource() = default;

    static VMInstallSource catalogRestoreImage(RestoreImageInfo info);
    static VMInstallSource localRestoreImage(QUrl fileURL);
    static VMInstallSource latestSupportedAutomatic();

    Kind kind() const { return Kind(m_payload.index()); }
    /// The catalog image; present only for catalogRestoreImage.
    std::optional<RestoreImageInfo> restoreImageInfo() const;
    /// The chosen file; present only for localRestoreImage.
    std::optional<QUrl> fileURL() const;

    /// One line for a person, e.g. "Local Restore Image (UniversalMac.ipsw)".
    QString summary() const;

    bool operator==(const VMInstallSource &) const = default;

private:
    // Alternatives in Kind order, so that the index is the kind.
    using Payload = std::variant<std::monostate, RestoreImageInfo, QUrl>;

    explicit VMInstallSource(Payload payload);

    Payload m_payload;
};

template <>
struct RawValues<VMInstallSource::Kind> {
    using Kind = VMInstallSource::Kind;
    static constexpr std::string_view typeName = "Kind";
    static constexpr std::array table{
        std::pair{Kind::latestSupportedAutomatic, std::string_view{"latestSupportedAutomatic"}},
        std::pair{Kind::catalogRestoreImage, std::string_view{"catalogRestoreImage"}},
        std::pair{Kind::localRestoreImage, std::string_view{"localRestoreImage"}},
    };
};

void to_json(Json &json, const VMInstallSource &source);
void from_json(const Json &json, VMInstallSource &source);
