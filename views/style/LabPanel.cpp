// SPDX-License-Identifier: MIT
#include "LabPanel.h"

#include "LabPalette.h"

#include <QEvent>
#include <QLayout>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

LabPanel::LabPanel(qreal cornerRadius, QWidget *parent)
    : QWidget(parent)
    , m_cornerRadius(cornerRadius)
{
    setAttribute(Qt::WA_StyledBackground, false);
}

QRectF LabPanel::panelRect() const
{
    return QRectF(rect()).marginsRemoved(QMarginsF(shadowMargins()));
}

void LabPanel::applyContentMargins(QLayout &layout)
{
    layout.setContentsMargins(shadowMargins() + QMargins(18, 18, 18, 18));
}

void LabPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &colors = palette();
    const QRectF shape = panelRect();

    // A blurred shadow 12 px below, approximated by widening translucent layers.
    const QColor shadow = LabPalette::shadow().resolved(colors);
    constexpr int layers = 6;
    painter.setPen(Qt::NoPen);
    for (int layer = layers; layer >= 1; --layer) {
        const qreal spread = layer * 1.5;
        painter.setBrush(LabPalette::withOpacity(shadow, 1.0 / layers));
        painter.drawRoundedRect(shape.translated(0, 8).adjusted(-spread / 2, -spread / 2, spread / 2, spread), m_cornerRadius + spread,
            m_cornerRadius + spread);
    }

    QLinearGradient fill(shape.topLeft(), shape.bottomRight());
    fill.setColorAt(0, LabPalette::panelBackground().resolved(colors));
    fill.setColorAt(1, LabPalette::panelBackgroundSecondary().resolved(colors));
    painter.setBrush(fill);
    painter.drawRoundedRect(shape, m_cornerRadius, m_cornerRadius);

    // The stroke lies inside the shape: inset by half its width.
    const QColor border = LabPalette::border().resolved(colors);
    QLinearGradient stroke(shape.topLeft(), shape.bottomRight());
    stroke.setColorAt(0, border);
    stroke.setColorAt(1, LabPalette::withOpacity(border, 0.35));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QBrush(stroke), 1.0));
    const QRectF inner = shape.adjusted(0.5, 0.5, -0.5, -0.5);
    painter.drawRoundedRect(inner, m_cornerRadius - 0.5, m_cornerRadius - 0.5);
}

void LabPanel::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        update();
}
