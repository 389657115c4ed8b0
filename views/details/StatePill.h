// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QWidget>

/**
 * A small capsule with a symbol and a text, as the details header shows the
 * run and install state: a highlight-to-panel gradient with a soft accent
 * outline. The text is plain.
 */
class StatePill final : public QWidget
{
    Q_OBJECT

public:
    StatePill(const QString &symbol, QWidget *parent = nullptr);

    void setText(const QString &text);
    QString text() const { return m_text; }
    void setSymbol(const QString &symbol);
    QString symbol() const { return m_symbol; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_symbol;
    QString m_text;
};
