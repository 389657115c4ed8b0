// SPDX-License-Identifier: MIT
#include "MainWindow.h"

#include "VMStore.h"

#include <QCoroTask>

MainWindow::MainWindow(VMStore &store, QWidget *parent)
    : QMainWindow(parent)
    , m_store(store)
{
    setWindowTitle(tr("Zovozu VM Lab"));
    resize(1100, 720);
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_launched) {
        m_launched = true;
        runLaunchTask();
    }
}

void MainWindow::runLaunchTask()
{
    // The reload never throws; it publishes an empty library and logs when the disk fails it.
    QCoro::connect(m_store.reload(), this, [] {});
}
