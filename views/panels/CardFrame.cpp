// SPDX-License-Identifier: MIT
#include "CardFrame.h"

#include "LabPalette.h"

#include <QPainter>
#include <QPainterPath>

CardFrame::CardFrame(qreal cornerRadius, qreal opacity, QWidget *parent)
    : QWidget(parent)
    , m_cornerRadius(cornerRadius)
    , m_opacity(opacity)
{
}

void CardFrame::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(LabPalette::withOpacity(LabPalette::cardBackground().resolved(palette()), m_opacity));
    painter.drawRoundedRect(QRectF(rect()), m_cornerRadius, m_cornerRadius);
}
