// SPDX-License-Identifier: MIT
#include "PanelEmptyState.h"

#include "SymbolLabel.h"

#include <QLabel>
#include <QVBoxLayout>

PanelEmptyState::PanelEmptyState(const Content &content, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(content.objectName);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, content.margin, 0, content.margin);
    column->setSpacing(12);
    column->addWidget(new SymbolLabel(content.symbol, TextTone::secondary, content.symbolSize), 0, Qt::AlignHCenter);
    if (!content.headline.isEmpty())
        column->addWidget(TextStyle::line(content.headline, TextRole::headline, TextTone::secondary), 0, Qt::AlignHCenter);
    QLabel *body = TextStyle::line(content.text, content.textRole, content.textTone);
    body->setAlignment(Qt::AlignHCenter);
    body->setWordWrap(true);
    column->addWidget(body);
}
