// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <functional>

class QMessageBox;
class QWidget;

/**
 * The confirmation before an action that loses data: a window-modal
 * warning with the message as plain text, the action's destructive button
 * and Cancel, which is the default (Return) and the escape button. It is
 * opened with open(), deletes itself when closed, and runs `confirmed` only
 * when the destructive button is pressed. Buttons: "<name>.confirm",
 * "<name>.cancel".
 */
class DestructiveConfirmation
{
public:
    static QMessageBox *open(QWidget *parent, const QString &objectName, const QString &title, const QString &message, const QString &actionText,
                             std::function<void()> confirmed);
};
