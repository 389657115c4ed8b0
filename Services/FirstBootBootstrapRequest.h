// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

/**
 * What the user chose in the create wizard for a new VM's first boot: a
 * script and further files to place in the bundle's Bootstrap folder, with
 * notes. Carried by the install request; never stored as it is.
 */
struct FirstBootBootstrapRequest {
    bool isEnabled = false;
    /// The user's script; without one the application's script (or a default one) is used.
    std::optional<QUrl> scriptURL;
    /// Further files, in the user's order.
    QList<QUrl> additionalFileURLs;
    QString notes;

    /// Nothing asked for: used when the wizard gives no request.
    static const FirstBootBootstrapRequest &disabled()
    {
        static const FirstBootBootstrapRequest request;
        return request;
    }

    bool operator==(const FirstBootBootstrapRequest &) const = default;
};
