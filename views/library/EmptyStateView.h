// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

#include <functional>

class QPushButton;

/**
 * What the detail column shows when no VM is selected: a panel with the
 * hero icon, the "No Virtual Machines Yet" heading, three feature lines and the
 * create and import buttons, each present only when its action is given.
 */
class EmptyStateView : public QWidget
{
    Q_OBJECT

public:
    EmptyStateView(std::function<void()> createAction, std::function<void()> importAction, QWidget *parent = nullptr);

    QPushButton *createButton() const { return m_create; }
    QPushButton *importButton() const { return m_import; }

private:
    QPushButton *m_create = nullptr;
    QPushButton *m_import = nullptr;
};
