// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QDialog;
class QPushButton;
class QVBoxLayout;

/**
 * The frame shared by the panels' sheets: a window-modal dialog of fixed
 * width with 24 px margins, a bold centred title and items 20 px apart,
 * ending in a button row of "Cancel" (Escape) on the left and the default
 * button (Return) on the right. Cancel is never the auto-default, so a
 * focused Cancel does not take Return.
 */
class SheetLayout
{
public:
    /// Names and sizes the dialog and lays out its title; add the content to the returned column.
    static QVBoxLayout *begin(QDialog &dialog, const QString &objectName, const QString &title, int width);
    /// A labelled group of fields 8 px apart, added to the column.
    static QVBoxLayout *addGroup(QVBoxLayout &column, const QString &label);
    /// Gives the sheet the height its content needs at its fixed width, after a line of wrapped text came, went or changed.
    static void fitHeight(QDialog &dialog);
    /// Adds the button row; "<prefix>.cancel" rejects the dialog. Returns the default button "<prefix>.<defaultName>".
    static QPushButton *addButtons(
        QDialog &dialog, QVBoxLayout &column, const QString &prefix, const QString &defaultText, const QString &defaultName);
};
