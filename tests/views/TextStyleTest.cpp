// SPDX-License-Identifier: MIT
#include "TextStyle.h"

#include <QApplication>
#include <QLabel>
#include <QPalette>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace {

/// The application's palette with its main roles set for one appearance, as a theme that sets no placeholder colour leaves it.
QPalette appearance(bool dark)
{
    QPalette palette = QApplication::palette();
    const QColor window = dark ? QColor(36, 38, 44) : QColor(246, 246, 246);
    const QColor text = dark ? QColor(230, 232, 236) : QColor(0, 0, 0);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, window);
    palette.setColor(QPalette::Text, text);
    return palette;
}

double luminance(const QColor &color)
{
    const auto channel = [](double value) { return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) + 0.0722 * channel(color.blueF());
}

/// The contrast ratio (1 to 21) of `ink`, blended by its alpha onto `background`, against that background.
double contrast(const QColor &ink, const QColor &background)
{
    const double alpha = ink.alphaF();
    const QColor blended = QColor::fromRgbF(float(ink.redF() * alpha + background.redF() * (1 - alpha)), float(ink.greenF() * alpha + background.greenF() * (1 - alpha)),
                                            float(ink.blueF() * alpha + background.blueF() * (1 - alpha)));
    const double lighter = std::max(luminance(blended), luminance(background));
    const double darker = std::min(luminance(blended), luminance(background));
    return (lighter + 0.05) / (darker + 0.05);
}

/// The colour a label draws its text in.
QColor ink(const QLabel &label)
{
    return label.palette().color(label.foregroundRole());
}

struct ToneCase {
    const char *name;
    TextTone tone;
    /// The contrast the text keeps on the window: body text 4.5:1, hints 3:1.
    double minimum;
    std::function<QLabel *()> make;
};

std::vector<ToneCase> toneCases()
{
    return {
        {"primary line", TextTone::primary, 7.0, [] { return TextStyle::line(QStringLiteral("Build Agent"), TextRole::body); }},
        {"secondary line", TextTone::secondary, 4.5, [] { return TextStyle::line(QStringLiteral("4 CPUs"), TextRole::caption, TextTone::secondary); }},
        {"secondary label", TextTone::secondary, 4.5, [] { return TextStyle::label(QStringLiteral("Stored in the bundle."), TextRole::callout, true); }},
        {"secondary paragraph", TextTone::secondary, 4.5, [] { return TextStyle::secondary(QStringLiteral("Not installed")); }},
        {"tertiary line", TextTone::tertiary, 3.0, [] { return TextStyle::line(QStringLiteral("No notes"), TextRole::caption2, TextTone::tertiary); }},
        {"secondary label restyled as a primary one", TextTone::primary, 7.0,
         [] {
             QLabel *label = TextStyle::label(QStringLiteral("Dev Environment"), TextRole::caption, true);
             TextStyle::apply(*label, TextRole::headline);
             return label;
         }},
    };
}

} // namespace

TEST(TextStyleTest, EveryToneStaysReadableOnLightAndDarkWindows)
{
    for (const bool dark : {false, true}) {
        const QPalette palette = appearance(dark);
        const QColor window = palette.color(QPalette::Window);
        for (const ToneCase &tone : toneCases()) {
            SCOPED_TRACE(std::string(tone.name) + (dark ? " on dark" : " on light"));
            QWidget parent;
            parent.setPalette(palette);
            QLabel *label = tone.make();
            label->setParent(&parent);
            EXPECT_GE(contrast(ink(*label), window), tone.minimum);
            EXPECT_GE(contrast(TextStyle::color(tone.tone, palette), window), tone.minimum) << "symbols drawn beside the text";
        }
    }
}

TEST(TextStyleTest, ATonedLabelFollowsASwitchOfAppearance)
{
    for (const ToneCase &tone : toneCases()) {
        SCOPED_TRACE(tone.name);
        QWidget parent;
        parent.setPalette(appearance(false));
        QLabel *label = tone.make();
        label->setParent(&parent);
        parent.setPalette(appearance(true));
        EXPECT_GE(contrast(ink(*label), appearance(true).color(QPalette::Window)), tone.minimum);
        parent.setPalette(appearance(false));
        EXPECT_GE(contrast(ink(*label), appearance(false).color(QPalette::Window)), tone.minimum);
    }
}

TEST(TextStyleTest, ATintReplacesTheToneForGood)
{
    QWidget parent;
    parent.setPalette(appearance(false));
    QLabel *label = TextStyle::line(QStringLiteral("4 KB reclaimable"), TextRole::caption, TextTone::tertiary);
    label->setParent(&parent);
    const QColor orange(250, 158, 84);
    TextStyle::tint(*label, orange);
    parent.setPalette(appearance(true));
    EXPECT_EQ(ink(*label), orange) << "a palette change must not bring the tone back over the tint";
}
