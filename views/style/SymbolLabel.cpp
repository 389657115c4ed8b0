// SPDX-License-Identifier: MIT
#include "SymbolLabel.h"

#include "Symbols.h"

#include <QEvent>

SymbolLabel::SymbolLabel(const QString &symbol, TextTone tone, int size, QWidget *parent)
    : QLabel(parent)
    , m_symbol(symbol)
    , m_tone(tone)
    , m_size(size)
{
    setProperty("symbol", symbol);
    paintSymbol();
}

void SymbolLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        paintSymbol();
}

void SymbolLabel::paintSymbol()
{
    setPixmap(Symbols::tinted(m_symbol, TextStyle::color(m_tone, palette()), m_size));
}
