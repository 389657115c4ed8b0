// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QUrl>

#include <functional>

/**
 * What the wizard asks of the desktop: the clipboard, the default browser
 * and whether a path is a program. system() uses the real desktop; tests pass
 * functions that record.
 */
struct WizardDesktop {
    /// Replaces the clipboard's contents with plain text.
    std::function<void(const QString &)> copyText;
    /// Opens a web address in the default browser; the second argument hears, maybe later, why nothing could show it.
    std::function<void(const QUrl &, std::function<void(const QString &)>)> openURL;
    /// Whether the path is a program this user can run: an executable file, never a folder.
    std::function<bool(const QString &)> isProgram;

    static WizardDesktop system();
};
