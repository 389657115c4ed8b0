// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

/**
 * A card inside a panel (a row, a metric, a network): its content on a
 * filled rounded rectangle in the palette's card colour, repainted in the
 * other appearance after a palette change. Children are laid out on top of it.
 */
class CardFrame : public QWidget
{
    Q_OBJECT

public:
    explicit CardFrame(qreal cornerRadius, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    qreal m_cornerRadius;
};
