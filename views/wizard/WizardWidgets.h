// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QString>

#include <QList>

class QFrame;
class QLabel;
class QRadioButton;
class QPushButton;
class QWidget;

/**
 * Small builders the wizard's pages share. Buttons never become a dialog's
 * automatic default, so Return only ever presses the footer's default button.
 */
namespace WizardWidgets {

/// A push button with a symbol, that never takes Return by having the focus.
QPushButton *button(const QString &text, const QString &symbol, const QString &objectName, QWidget *parent = nullptr);
/// The radio mark of a selectable row: filled in the accent colour when selected.
QLabel *selectionMark(QWidget *parent = nullptr);
void setSelectionMark(QLabel &mark, bool selected);
/// A symbol drawn in `color` at `size` pixels.
QLabel *symbolLabel(const QString &symbol, const QColor &color, int size, QWidget *parent = nullptr);
/// A selectable plain-text label (paths, addresses).
QLabel *selectableLabel(const QString &text, QWidget *parent = nullptr);
/// A label of a fixed text whose `backquoted` parts show in code style.
QLabel *markupLabel(const QString &fixedText, bool secondary = true, QWidget *parent = nullptr);
/// A horizontal divider line.
QFrame *divider(QWidget *parent = nullptr);
/// Checks `chosen` among the radio buttons of one group without announcing it.
void checkQuietly(QRadioButton &chosen, const QList<QRadioButton *> &group);
/// Shows or hides a widget only when that changes something.
void setShown(QWidget &widget, bool shown);

} // namespace WizardWidgets
