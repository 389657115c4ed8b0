// SPDX-License-Identifier: MIT
#pragma once

#include "PanelTint.h"
#include "VMRuntimeState.h"

#include <QColor>
#include <QPalette>

/**
 * The application's colours, each a pair for the light and the dark
 * appearance. The appearance is read from a palette each time a colour is
 * asked for: dark when its window colour is darker than its text. Nothing is
 * cached, so a widget that repaints after a palette change gets the other
 * colour of the pair.
 *
 * @code
 * painter.setPen(LabPalette::runtimeStateTint(state, palette()));
 * @endcode
 */
class LabPalette
{
public:
    /// A colour for each appearance.
    struct Pair {
        QColor light;
        QColor dark;
        QColor resolved(const QPalette &palette) const { return isDark(palette) ? dark : light; }
    };

    static bool isDark(const QPalette &palette);

    static Pair accent();
    static Pair accentSoft();
    static Pair teal();
    static Pair orange();
    static Pair cardBackground();
    static Pair panelBackground();
    static Pair panelBackgroundSecondary();
    static Pair border();
    static Pair highlight();
    static Pair shadow();
    static Pair slate();
    /// The system red, the same in both appearances.
    static Pair systemRed();
    /// The system green of success marks.
    static Pair systemGreen();

    static Pair runtimeStateTint(VMRuntimeState state);
    /// The colour of a panel's tint role in the palette's appearance; the text roles follow the text tones.
    static QColor tint(PanelTint tint, const QPalette &palette);

    /// Shorthands resolved against the application's palette.
    static QColor accent(const QPalette &palette) { return accent().resolved(palette); }
    static QColor runtimeStateTint(VMRuntimeState state, const QPalette &palette) { return runtimeStateTint(state).resolved(palette); }

    /// `color` with its alpha multiplied by `opacity`.
    static QColor withOpacity(QColor color, qreal opacity);
};
