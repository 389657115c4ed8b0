// SPDX-License-Identifier: MIT
#include "PanelEmptyState.h"

#include "Symbols.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

PanelEmptyState::PanelEmptyState(const Content &content, QWidget *parent)
    : QWidget(parent)
    , m_symbolName(content.symbol)
    , m_symbolSize(content.symbolSize)
    , m_symbol(new QLabel)
{
    setObjectName(content.objectName);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, content.margin, 0, content.margin);
    column->setSpacing(12);
    tintSymbol();
    column->addWidget(m_symbol, 0, Qt::AlignHCenter);
    if (!content.headline.isEmpty())
        column->addWidget(TextStyle::line(content.headline, TextRole::headline, TextTone::secondary), 0, Qt::AlignHCenter);
    QLabel *body = TextStyle::line(content.text, content.textRole, content.textTone);
    body->setAlignment(Qt::AlignHCenter);
    body->setWordWrap(true);
    column->addWidget(body);
}

void PanelEmptyState::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        tintSymbol();
}

void PanelEmptyState::tintSymbol()
{
    m_symbol->setPixmap(Symbols::tinted(m_symbolName, TextStyle::color(TextTone::secondary, palette()), m_symbolSize));
}
