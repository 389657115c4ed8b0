// SPDX-License-Identifier: MIT
#include "PanelCard.h"

#include "LabPalette.h"

#include <QPainter>

PanelCard::PanelCard(qreal cornerRadius, QWidget *parent)
    : QFrame(parent)
    , m_cornerRadius(cornerRadius)
{
}

void PanelCard::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(LabPalette::cardBackground().resolved(palette()));
    painter.drawRoundedRect(QRectF(rect()), m_cornerRadius, m_cornerRadius);
}
