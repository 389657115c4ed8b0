// SPDX-License-Identifier: MIT
#include "Symbols.h"

#include <QApplication>
#include <QLocale>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QLocale::setDefault(QLocale::c());
    Symbols::ensureIconTheme();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
