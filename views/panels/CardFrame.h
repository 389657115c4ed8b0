// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

/**
 * A card inside a panel: its content on a filled rounded rectangle in the
 * palette's card colour (at an opacity, for the chart area), repainted in
 * the other appearance after a palette change.
 */
class CardFrame : public QWidget
{
    Q_OBJECT

public:
    explicit CardFrame(qreal cornerRadius, qreal opacity = 1.0, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    qreal m_cornerRadius;
    qreal m_opacity;
};
