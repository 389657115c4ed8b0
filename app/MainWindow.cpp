// SPDX-License-Identifier: MIT
#include "MainWindow.h"

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(tr("Zovozu VM Lab"));
    resize(1100, 720);
}
