// SPDX-License-Identifier: MIT
#pragma once

#include <QLabel>
#include <QPalette>

/**
 * A symbol painted in one of the palette's colours, painted again when the
 * palette changes, so it stays readable after a switch between the light and
 * the dark appearance. For a symbol in a fixed colour (a status, an accent)
 * use Symbols::label.
 *
 * @code
 * row->addWidget(new SymbolLabel(QStringLiteral("folder"), QPalette::WindowText, 18));
 * @endcode
 */
class SymbolLabel final : public QLabel
{
    Q_OBJECT

public:
    SymbolLabel(const QString &symbol, QPalette::ColorRole role, int size, QWidget *parent = nullptr);

protected:
    void changeEvent(QEvent *event) override;

private:
    void paintSymbol();

    QString m_symbol;
    QPalette::ColorRole m_role;
    int m_size;
};
