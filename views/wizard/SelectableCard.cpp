// SPDX-License-Identifier: MIT
#include "SelectableCard.h"

#include "LabPalette.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>

SelectableCard::SelectableCard(qreal cornerRadius, QWidget *parent)
    : QAbstractButton(parent)
    , m_cornerRadius(cornerRadius)
    , m_content(new QHBoxLayout(this))
{
    m_content->setContentsMargins(14, 14, 14, 14);
    m_content->setSpacing(10);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setFocusPolicy(Qt::TabFocus);
}

void SelectableCard::setSelected(bool selected)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    update();
}

QSize SelectableCard::sizeHint() const
{
    return m_content->sizeHint();
}

QSize SelectableCard::minimumSizeHint() const
{
    return m_content->minimumSize();
}

void SelectableCard::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &colours = palette();
    const QColor fill = m_selected ? LabPalette::highlight().resolved(colours)
                                   : LabPalette::withOpacity(LabPalette::cardBackground().resolved(colours), 0.74);
    const QColor outline = m_selected ? LabPalette::withOpacity(LabPalette::accentSoft().resolved(colours), 0.65)
                                      : LabPalette::withOpacity(LabPalette::border().resolved(colours), 0.35);
    const QRectF shape = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath path;
    path.addRoundedRect(shape, m_cornerRadius, m_cornerRadius);
    painter.fillPath(path, fill);
    painter.setPen(QPen(outline, 1));
    painter.drawPath(path);
    if (hasFocus()) {
        painter.setPen(QPen(LabPalette::accent(colours), 1.5));
        painter.drawRoundedRect(shape.adjusted(1.5, 1.5, -1.5, -1.5), m_cornerRadius - 1, m_cornerRadius - 1);
    }
}
