// SPDX-License-Identifier: MIT
#pragma once

#include <QFont>
#include <QString>

class QLabel;
class QWidget;

/// The text sizes of the screens, largest first.
enum class TextRole { largeTitle, title, title2, title3, headline, body, callout, subheadline, footnote, caption, caption2 };

/**
 * Fonts and labels by role, scaled from the application font so that the
 * desktop's font size still governs. Labels show plain text: what they
 * carry often comes from a bundle or a guest.
 */
namespace TextStyle {

QFont font(TextRole role);

/// Sets the role's font; a secondary label takes the palette's placeholder colour, so it follows light and dark.
void apply(QLabel &label, TextRole role, bool secondary = false);

/// A word-wrapped plain-text label in the role's font.
QLabel *label(const QString &text, TextRole role = TextRole::body, bool secondary = false, QWidget *parent = nullptr);

} // namespace TextStyle
