// SPDX-License-Identifier: MIT
#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // Services use Qt's event loop and standard paths; give every suite an application object.
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
