// SPDX-License-Identifier: MIT
#include "DetailsActionsPanel.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int minimumCell = 150;
constexpr int maximumCell = 220;
constexpr int spacing = 12;
constexpr int padding = 20;

} // namespace

DetailsActionsPanel::DetailsActionsPanel(QWidget *parent)
    : LabPanel(22, parent)
    , m_grid(new QGridLayout)
{
    setObjectName(QStringLiteral("details.actions"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(LabPanel::shadowMargins() + QMargins(padding, padding, padding, padding));
    column->setSpacing(14);
    auto *heading = new QLabel(QStringLiteral("Actions"));
    QFont font = heading->font();
    font.setWeight(QFont::DemiBold);
    heading->setFont(font);
    column->addWidget(heading);
    m_grid->setSpacing(spacing);
    m_grid->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    column->addLayout(m_grid);
}

void DetailsActionsPanel::setStates(const QList<VMDetailsActionState> &states)
{
    QList<QPushButton *> shown;
    for (const VMDetailsActionState &state : states) {
        QPushButton *&button = m_buttons[state.action];
        if (!button) {
            button = new QPushButton(this);
            button->setObjectName(QStringLiteral("details.action.") + VMDetailsActions::key(state.action));
            button->setMinimumWidth(minimumCell);
            button->setMaximumWidth(maximumCell);
            button->setMinimumHeight(34);
            button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
            const VMDetailsAction action = state.action;
            connect(button, &QPushButton::clicked, this, [this, action] { Q_EMIT triggered(action); });
        }
        button->setText(state.title);
        button->setToolTip(state.help);
        button->setEnabled(state.enabled);
        shown << button;
    }
    for (QPushButton *button : std::as_const(m_buttons))
        button->setVisible(shown.contains(button));
    if (shown != m_shown) {
        m_shown = shown;
        m_columns = 0;
        layOut();
    }
}

void DetailsActionsPanel::resizeEvent(QResizeEvent *event)
{
    LabPanel::resizeEvent(event);
    layOut();
}

void DetailsActionsPanel::layOut()
{
    const int available = width() - LabPanel::shadowMargins().left() - LabPanel::shadowMargins().right() - 2 * padding;
    int widest = minimumCell;
    for (const QPushButton *button : std::as_const(m_shown))
        widest = std::max(widest, std::min(maximumCell, button->sizeHint().width()));
    const int columns = std::max(1, (available + spacing) / (widest + spacing));
    if (columns == m_columns)
        return;
    m_columns = columns;
    for (QPushButton *button : std::as_const(m_buttons))
        m_grid->removeWidget(button);
    for (int index = 0; index < m_shown.size(); ++index)
        m_grid->addWidget(m_shown.at(index), index / columns, index % columns);
}
