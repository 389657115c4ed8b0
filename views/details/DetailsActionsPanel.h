// SPDX-License-Identifier: MIT
#pragma once

#include "LabPanel.h"
#include "VMDetailsActions.h"

#include <QMap>

class QGridLayout;
class QPushButton;

/**
 * The Actions panel of the details pane: the heading and a grid of buttons
 * 150 to 220 px wide, as many to a row as fit. Shows the states it is given
 * and reports a press; each button is named "details.action.<key>".
 */
class DetailsActionsPanel final : public LabPanel
{
    Q_OBJECT

public:
    explicit DetailsActionsPanel(QWidget *parent = nullptr);

    void setStates(const QList<VMDetailsActionState> &states);
    QPushButton *button(VMDetailsAction action) const { return m_buttons.value(action); }

Q_SIGNALS:
    void triggered(VMDetailsAction action);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void layOut();

    QGridLayout *m_grid;
    QMap<VMDetailsAction, QPushButton *> m_buttons;
    QList<QPushButton *> m_shown;
    int m_columns = 0;
};
