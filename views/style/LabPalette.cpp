// SPDX-License-Identifier: MIT
#include "LabPalette.h"

#include "TextStyle.h"

namespace {

QColor rgb(qreal red, qreal green, qreal blue, qreal alpha = 1.0)
{
    return QColor::fromRgbF(float(red), float(green), float(blue), float(alpha));
}

} // namespace

bool LabPalette::isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightnessF() < palette.color(QPalette::WindowText).lightnessF();
}

LabPalette::Pair LabPalette::accent()
{
    return {rgb(0.08, 0.47, 0.94), rgb(0.33, 0.73, 1.0)};
}
LabPalette::Pair LabPalette::accentSoft()
{
    return {rgb(0.48, 0.73, 1.0), rgb(0.3, 0.6, 0.98)};
}
LabPalette::Pair LabPalette::teal()
{
    return {rgb(0.1, 0.74, 0.78), rgb(0.28, 0.86, 0.84)};
}
LabPalette::Pair LabPalette::orange()
{
    return {rgb(0.98, 0.62, 0.33), rgb(0.98, 0.7, 0.45)};
}
LabPalette::Pair LabPalette::cardBackground()
{
    return {rgb(0.93, 0.96, 0.99, 0.9), rgb(0.14, 0.17, 0.24, 0.9)};
}
LabPalette::Pair LabPalette::panelBackground()
{
    return {rgb(1.0, 1.0, 1.0, 0.88), rgb(0.11, 0.13, 0.18, 0.92)};
}
LabPalette::Pair LabPalette::panelBackgroundSecondary()
{
    return {rgb(0.96, 0.98, 1.0, 0.88), rgb(0.08, 0.1, 0.15, 0.92)};
}
LabPalette::Pair LabPalette::border()
{
    return {rgb(0.84, 0.9, 0.97, 0.95), rgb(0.26, 0.31, 0.42, 0.95)};
}
LabPalette::Pair LabPalette::highlight()
{
    return {rgb(0.87, 0.94, 1.0, 0.95), rgb(0.15, 0.24, 0.38, 0.95)};
}
LabPalette::Pair LabPalette::shadow()
{
    return {rgb(0, 0, 0, 0.1), rgb(0, 0, 0, 0.28)};
}
LabPalette::Pair LabPalette::slate()
{
    return {rgb(0.45, 0.52, 0.64), rgb(0.62, 0.68, 0.78)};
}
LabPalette::Pair LabPalette::systemRed()
{
    return {QColor(255, 59, 48), QColor(255, 59, 48)};
}

LabPalette::Pair LabPalette::systemGreen()
{
    return {QColor(40, 167, 69), QColor(48, 209, 88)};
}

LabPalette::Pair LabPalette::runtimeStateTint(VMRuntimeState state)
{
    switch (state) {
    case VMRuntimeState::starting:
        return accent();
    case VMRuntimeState::running:
        return teal();
    case VMRuntimeState::paused:
    case VMRuntimeState::saving:
    case VMRuntimeState::restoring:
        return orange();
    case VMRuntimeState::error:
        return systemRed();
    case VMRuntimeState::stopped:
    case VMRuntimeState::stopping:
        break;
    }
    return slate();
}

QColor LabPalette::tint(PanelTint tint, const QPalette &palette)
{
    switch (tint) {
    case PanelTint::accent:
        return accent().resolved(palette);
    case PanelTint::teal:
        return teal().resolved(palette);
    case PanelTint::orange:
        return orange().resolved(palette);
    case PanelTint::red:
        return systemRed().resolved(palette);
    case PanelTint::green:
        return isDark(palette) ? QColor(48, 209, 88) : QColor(52, 199, 89);
    case PanelTint::purple:
        return isDark(palette) ? QColor(191, 90, 242) : QColor(175, 82, 222);
    case PanelTint::gray:
        return QColor(142, 142, 147);
    case PanelTint::secondary:
        return TextStyle::color(TextTone::secondary, palette);
    case PanelTint::primary:
        break;
    }
    return palette.color(QPalette::WindowText);
}

QColor LabPalette::withOpacity(QColor color, qreal opacity)
{
    color.setAlphaF(float(color.alphaF() * opacity));
    return color;
}
