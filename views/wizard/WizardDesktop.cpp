// SPDX-License-Identifier: MIT
#include "WizardDesktop.h"

#include "DesktopOpener.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>

WizardDesktop WizardDesktop::system()
{
    return {
        [](const QString &text) {
            QClipboard *clipboard = QGuiApplication::clipboard();
            clipboard->clear();
            clipboard->setText(text);
        },
        [](const QUrl &url, std::function<void(const QString &)> failed) { DesktopOpener::openWebPage(url, std::move(failed)); },
        [](const QString &path) {
            const QFileInfo file(path);
            return file.isFile() && file.isExecutable();
        },
    };
}
