// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QLabel;
class QWidget;

/**
 * The labels the feature panels are made of: plain text only (names come
 * from bundles, guests and the user's files), in the panels' type sizes,
 * and symbols tinted in one colour.
 */
namespace PanelText {

/// The type sizes of the panels, relative to the application font.
enum class Size { title, headline, subheadline, body, caption, smallCaption };

QFont font(const QFont &base, Size size, QFont::Weight weight = QFont::Normal);

/// A plain-text label in `size`; `objectName` may be empty.
QLabel *label(const QString &text, Size size, QFont::Weight weight = QFont::Normal, const QString &objectName = {});

/// Gives the label a fixed text colour.
void tint(QLabel *label, const QColor &color);

/// A label showing the symbol at `size` pixels in `color`; its "symbol" property names it.
QLabel *symbol(const QString &name, const QColor &color, int size);

/// A symbol followed by a text, both in `color`, as one small widget; the text label is `objectName`.
QWidget *symbolText(const QString &symbolName, const QString &text, const QColor &color, Size size, const QString &objectName = {});

} // namespace PanelText
