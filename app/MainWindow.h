// SPDX-License-Identifier: MIT
#pragma once

#include <QMainWindow>

class VMStore;

/**
 * The library window, titled "Zovozu VM Lab". The first time it is shown it
 * reloads the library from disk; closing it does not undo that.
 */
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(VMStore &store, QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void runLaunchTask();

    VMStore &m_store;
    bool m_launched = false;
};
