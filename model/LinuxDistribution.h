// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"
#include "LinuxDistroVariant.h"

#include <QList>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <optional>

/**
 * One Linux distribution a user can install a guest from: which edition and
 * release, and where its arm64 installer image is downloaded. Identified by
 * `id`; compared over every field, the `id` included.
 *
 * The built-in catalog has fixed rows, desktop editions first. Each row gets
 * a fresh random `id` when the catalog is first built, so a row's identity
 * holds within one run of the program only.
 *
 * @code
 * for (const LinuxDistribution &row : LinuxDistribution::desktopCatalog())
 *     addRow(row.name + QLatin1Char(' ') + row.version, row.detailSummary());
 * @endcode
 */
struct LinuxDistribution {
    QUuid id;
    QString name;
    QString version;
    /// As the distribution writes it: "arm64" or "aarch64".
    QString architecture;
    LinuxDistroVariant variant = LinuxDistroVariant::server;
    std::optional<QString> desktopEnvironment;
    std::optional<QUrl> isoURL;
    std::optional<QUrl> kernelURL;
    std::optional<QUrl> initrdURL;
    /// The expected download size in bytes.
    std::optional<quint64> estimatedSizeBytes;
    /// True for a row that does not come from the built-in catalog.
    bool isCustom = false;

    /// The detail line, e.g. "Desktop (GUI) • GNOME • ~3.54 GB": edition, desktop environment and size, each only when known.
    QString detailSummary() const;

    /// The whole built-in catalog: the desktop list followed by the server list. Built once, then shared.
    static const QList<LinuxDistribution> &catalog();
    static const QList<LinuxDistribution> &desktopCatalog();
    static const QList<LinuxDistribution> &serverCatalog();

    bool operator==(const LinuxDistribution &) const = default;
};

void to_json(Json &json, const LinuxDistribution &distribution);
void from_json(const Json &json, LinuxDistribution &distribution);
