// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>

#include <optional>

class QLabel;
class QWidget;

/// The text sizes of the screens, largest first.
enum class TextRole { largeTitle, title, title2, title3, headline, body, callout, subheadline, footnote, caption, caption2 };

/// How strongly a text stands out from its background.
enum class TextTone {
    primary,
    /// Supporting text.
    secondary,
    /// Hints and notes, fainter than secondary text.
    tertiary,
};

/**
 * The one type scale of every screen: fonts, tones and plain-text labels by
 * role, scaled from the application font so that the desktop's font size
 * still governs. Labels show plain text: what they carry often comes from a
 * bundle, a guest or the user's files.
 *
 * Every tone follows the palette, so a label made in the light appearance
 * reads as well after a switch to the dark one.
 *
 * @code
 * column->addWidget(TextStyle::label(tr("Choose a source."), TextRole::callout, true));
 * row->addWidget(TextStyle::line(network.name, TextRole::body, TextTone::primary, QFont::Medium));
 * @endcode
 */
namespace TextStyle {

/// The role's font, in the role's own weight unless `weight` is given.
QFont font(TextRole role, std::optional<QFont::Weight> weight = std::nullopt);
/// Sets the role's font on a widget (a button, a field, a label).
void applyFont(QWidget &widget, TextRole role, std::optional<QFont::Weight> weight = std::nullopt);

/// Sets the role's font; a secondary label takes the secondary tone.
void apply(QLabel &label, TextRole role, bool secondary = false);
/// Gives a label the tone's colour, kept across palette changes.
void applyTone(QLabel &label, TextTone tone);
/// Gives a label a fixed colour (a status or a tint), replacing its tone.
void tint(QLabel &label, const QColor &color);
/// The tone's colour in `palette`, for symbols drawn beside the text.
QColor color(TextTone tone, const QPalette &palette);

/// A word-wrapped plain-text label in the role's font.
QLabel *label(const QString &text, TextRole role = TextRole::body, bool secondary = false, QWidget *parent = nullptr);
/// A word-wrapped body paragraph, primary or secondary.
QLabel *plain(const QString &text);
QLabel *secondary(const QString &text);

/**
 * A one-line plain-text label (no word wrap), as the rows of the panels use;
 * `objectName` may be empty.
 */
QLabel *line(const QString &text, TextRole role, TextTone tone = TextTone::primary, std::optional<QFont::Weight> weight = std::nullopt,
    const QString &objectName = {});

/// A symbol followed by a one-line text, both in `color`, as one small widget; the text label is `objectName`.
QWidget *symbolText(const QString &symbolName, const QString &text, const QColor &color, TextRole role, const QString &objectName = {});

} // namespace TextStyle
