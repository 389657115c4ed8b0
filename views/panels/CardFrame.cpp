// SPDX-License-Identifier: MIT
#include "CardFrame.h"

#include "LabPalette.h"

#include <QPainter>

CardFrame::CardFrame(qreal cornerRadius, QWidget *parent)
    : QWidget(parent)
    , m_cornerRadius(cornerRadius)
{
}

void CardFrame::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(LabPalette::cardBackground().resolved(palette()));
    painter.drawRoundedRect(QRectF(rect()), m_cornerRadius, m_cornerRadius);
}
