// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QUrl>

#include <functional>

/**
 * Hands a folder or a web address to the desktop's opener (xdg-open) and
 * tells, on the GUI thread and after open() has returned, when nothing could
 * show it: the opener could not start, or it ended in failure (xdg-open ends
 * with a failure when no application takes the item). Never blocks.
 */
namespace DesktopOpener {

/// Runs `program target`; `failed` (if any) is called once when it cannot start or ends in failure.
void open(const QString &program, const QString &target, std::function<void()> failed);

/// Opens the page in the default web browser; `failed` (if any) gets the sentence for the user.
void openWebPage(const QUrl &url, std::function<void(const QString &reason)> failed, const QString &program = QStringLiteral("xdg-open"));

/// The sentence a failure to open `url` gives.
QString webPageFailureText(const QUrl &url);

} // namespace DesktopOpener
