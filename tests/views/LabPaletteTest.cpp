// SPDX-License-Identifier: MIT
#include "LabPalette.h"
#include "Symbols.h"

#include <QPalette>

#include <gtest/gtest.h>

namespace {

QPalette appearance(bool dark)
{
    QPalette palette;
    palette.setColor(QPalette::Window, dark ? QColor(30, 30, 30) : QColor(240, 240, 240));
    palette.setColor(QPalette::WindowText, dark ? QColor(230, 230, 230) : QColor(20, 20, 20));
    return palette;
}

bool near(const QColor &color, float red, float green, float blue, float alpha = 1)
{
    constexpr float tolerance = 0.002f;
    return std::abs(color.redF() - red) < tolerance && std::abs(color.greenF() - green) < tolerance && std::abs(color.blueF() - blue) < tolerance &&
           std::abs(color.alphaF() - alpha) < tolerance;
}

} // namespace

TEST(LabPaletteTest, ColoursFollowTheAppearanceOfThePalette)
{
    EXPECT_FALSE(LabPalette::isDark(appearance(false)));
    EXPECT_TRUE(LabPalette::isDark(appearance(true)));
    EXPECT_TRUE(near(LabPalette::accent(appearance(false)), 0.08f, 0.47f, 0.94f));
    EXPECT_TRUE(near(LabPalette::accent(appearance(true)), 0.33f, 0.73f, 1.0f));
    EXPECT_TRUE(near(LabPalette::panelBackground().resolved(appearance(true)), 0.11f, 0.13f, 0.18f, 0.92f));
    EXPECT_TRUE(near(LabPalette::shadow().resolved(appearance(false)), 0, 0, 0, 0.1f));
}

TEST(LabPaletteTest, RunStatesShareTheirTintByGroup)
{
    for (const bool dark : {false, true}) {
        const QPalette palette = appearance(dark);
        const auto tint = [&](VMRuntimeState state) { return LabPalette::runtimeStateTint(state, palette); };
        EXPECT_EQ(tint(VMRuntimeState::stopped), tint(VMRuntimeState::stopping));
        EXPECT_EQ(tint(VMRuntimeState::paused), tint(VMRuntimeState::saving));
        EXPECT_EQ(tint(VMRuntimeState::paused), tint(VMRuntimeState::restoring));
        EXPECT_EQ(tint(VMRuntimeState::paused), LabPalette::orange().resolved(palette));
        EXPECT_EQ(tint(VMRuntimeState::running), LabPalette::teal().resolved(palette));
        EXPECT_EQ(tint(VMRuntimeState::starting), LabPalette::accent(palette));
        EXPECT_NE(tint(VMRuntimeState::error), tint(VMRuntimeState::stopped));
    }
    EXPECT_TRUE(near(LabPalette::runtimeStateTint(VMRuntimeState::stopped, appearance(true)), 0.62f, 0.68f, 0.78f));
}

TEST(LabPaletteTest, StoredSymbolNamesGoThroughTheTable)
{
    EXPECT_EQ(Symbols::themeName(QStringLiteral("trash")), QStringLiteral("user-trash"));
    // A name from a file never reaches the theme lookup as it is.
    EXPECT_EQ(Symbols::themeName(QStringLiteral("../../etc/passwd")), QStringLiteral("image-missing"));
    EXPECT_FALSE(Symbols::isKnown(QStringLiteral("user-trash")));
}
