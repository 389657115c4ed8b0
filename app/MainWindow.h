// SPDX-License-Identifier: MIT
#pragma once

#include <QMainWindow>

/// The library window, titled "Zovozu VM Lab".
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
};
