// SPDX-License-Identifier: MIT
#include "WizardStepPill.h"

#include "LabPalette.h"
#include "TextStyle.h"

#include <QPainter>
#include <QPainterPath>

WizardStepPill::WizardStepPill(const QString &title, bool current, QWidget *parent)
    : QWidget(parent)
    , m_title(title)
    , m_current(current)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QFont WizardStepPill::titleFont() const
{
    QFont result = TextStyle::font(TextRole::callout);
    result.setWeight(m_current ? QFont::DemiBold : QFont::Normal);
    return result;
}

QSize WizardStepPill::sizeHint() const
{
    const QFontMetrics metrics(titleFont());
    return {metrics.horizontalAdvance(m_title) + 24, metrics.height() + 12};
}

void WizardStepPill::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &colours = palette();
    const QRectF shape = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = shape.height() / 2;
    QPainterPath capsule;
    capsule.addRoundedRect(shape, radius, radius);
    painter.fillPath(capsule,
        m_current ? LabPalette::highlight().resolved(colours)
                  : LabPalette::withOpacity(LabPalette::cardBackground().resolved(colours), 0.72));
    painter.setPen(QPen(m_current ? LabPalette::withOpacity(LabPalette::accentSoft().resolved(colours), 0.55)
                                  : LabPalette::withOpacity(LabPalette::border().resolved(colours), 0.35),
        1));
    painter.drawPath(capsule);
    painter.setFont(titleFont());
    painter.setPen(TextStyle::color(m_current ? TextTone::primary : TextTone::secondary, colours));
    painter.drawText(rect(), Qt::AlignCenter, m_title);
}
