// SPDX-License-Identifier: MIT
#include "WizardDesktop.h"

#include <QClipboard>
#include <QDesktopServices>
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
        [](const QUrl &url) { QDesktopServices::openUrl(url); },
        [](const QString &path) {
            const QFileInfo file(path);
            return file.isFile() && file.isExecutable();
        },
    };
}
