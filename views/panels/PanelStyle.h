// SPDX-License-Identifier: MIT
#pragma once

#include "PanelTint.h"

#include <QColor>
#include <QPalette>
#include <QString>

class QLabel;
class QLayout;
class QWidget;

/**
 * The shared look of the feature panels: text styles of their labels,
 * colours of their tint roles, and the panel frame's margins. Every label
 * made here shows plain text, so names and notes from a bundle are never
 * read as markup.
 */
class PanelStyle
{
public:
    enum class Text {
        title2,
        title3,
        headline,
        subheadline,
        body,
        callout,
        caption,
        caption2,
    };
    enum class Tone {
        primary,
        secondary,
        tertiary,
    };

    /// A plain-text label in the text style and tone.
    static QLabel *label(const QString &text, Text style, Tone tone = Tone::primary, bool bold = false);
    /// Sets the text style on a widget's font.
    static void applyText(QWidget &widget, Text style, bool bold = false);
    /// Sets the tone of a label's text.
    static void applyTone(QLabel &label, Tone tone);
    /// Sets a label's text colour.
    static void applyColor(QLabel &label, const QColor &color);

    static QColor color(PanelTint tint, const QPalette &palette);
    static QColor secondaryText(const QPalette &palette);
    static QColor tertiaryText(const QPalette &palette);

    /**
     * The centred empty state of a panel: the symbol in the secondary colour,
     * an optional headline and a wrapped, centred text, 12 px apart with
     * `margin` above and below.
     */
    static QWidget *emptyState(const QString &objectName, const QString &symbol, int symbolSize, int margin, const QString &headline, const QString &text,
                               Text textStyle, Tone textTone);

    /// Removes and deletes every item of the layout, its widgets and nested layouts included.
    static void clearLayout(QLayout &layout);

    /// The panel's inner margins: 18 px inside the panel's shadow room.
    static void applyPanelMargins(QLayout &layout);
    /// The corner radius of every panel of the details pane.
    static constexpr qreal panelRadius = 22;
};
