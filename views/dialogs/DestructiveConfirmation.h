// SPDX-License-Identifier: MIT
#pragma once

#include <QCoroTask>
#include <QString>

#include <functional>

class QMessageBox;
class QWidget;

/**
 * The confirmation before an action that loses data: a window-modal
 * warning with the message as plain text, the action's destructive button
 * and Cancel, which is the default (Return) and the escape button. Buttons:
 * "<name>.confirm", "<name>.cancel".
 */
struct DestructiveConfirmation {
    QString objectName;
    QString title;
    QString message;
    QString actionText;
    /// A second paragraph under the message (the consequences), plain text; none when empty.
    QString detail = {};

    /// Opens the box with open(); it deletes itself when closed and runs `confirmed` only when the action is chosen.
    QMessageBox *open(QWidget *parent, std::function<void()> confirmed) const;

    /// Opens the box and answers whether the action was chosen. A box that goes with its parent answers no.
    QCoro::Task<bool> ask(QWidget *parent) const;
};
