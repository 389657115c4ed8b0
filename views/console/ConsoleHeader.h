// SPDX-License-Identifier: MIT
#pragma once

#include "VMRuntimeState.h"

#include <QWidget>

class QHBoxLayout;
class QLabel;
class QPushButton;

/**
 * The top of a console: the VM's name (plain text) above its run state in
 * the state's colour, and the console's buttons on the right, in the order
 * they were added. Children: "console.name", "console.state".
 */
class ConsoleHeader final : public QWidget
{
    Q_OBJECT

public:
    explicit ConsoleHeader(QWidget *parent = nullptr);

    void setTitle(const QString &title);
    void setRuntimeState(VMRuntimeState state);
    /// Adds a button at the end of the row; it takes no keyboard focus, which stays with the guest's display.
    QPushButton *addButton(const QString &objectName, const QString &text);

    /// The colour a run state is shown in.
    static QColor tint(VMRuntimeState state);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QLabel *m_title;
    QLabel *m_state;
    QHBoxLayout *m_buttons;
};
