// SPDX-License-Identifier: MIT
#pragma once

#include "TextStyle.h"

#include <QLabel>

/**
 * A symbol painted in a text tone's colour, painted again when the palette
 * changes, so it stays readable after a switch between the light and the
 * dark appearance. For a symbol in a fixed colour (a status, an accent) use
 * Symbols::label.
 *
 * @code
 * row->addWidget(new SymbolLabel(QStringLiteral("folder"), TextTone::primary, 18));
 * @endcode
 */
class SymbolLabel final : public QLabel
{
    Q_OBJECT

public:
    SymbolLabel(const QString &symbol, TextTone tone, int size, QWidget *parent = nullptr);

protected:
    void changeEvent(QEvent *event) override;

private:
    void paintSymbol();

    QString m_symbol;
    TextTone m_tone;
    int m_size;
};
