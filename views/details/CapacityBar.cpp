// SPDX-License-Identifier: MIT
#include "CapacityBar.h"

#include "LabPalette.h"

#include <QLinearGradient>
#include <QPainter>

#include <algorithm>

namespace {

constexpr qreal trackHeight = 18;
constexpr qreal markerSize = 22;

} // namespace

CapacityBar::CapacityBar(QWidget *parent)
    : QWidget(parent)
{
    setFixedHeight(24);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void CapacityBar::setFractions(double current, double target)
{
    m_current = current;
    m_target = target;
    update();
}

void CapacityBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &colours = palette();
    // The marker's half width stays inside at both ends.
    const qreal inset = markerSize / 2;
    const qreal width = std::max<qreal>(0, this->width() - 2 * inset);
    const qreal top = (height() - trackHeight) / 2;
    const qreal radius = trackHeight / 2;
    const qreal currentWidth = width * m_current;
    const qreal targetWidth = width * m_target;
    const qreal addedWidth = std::max<qreal>(0, targetWidth - currentWidth);

    painter.setPen(Qt::NoPen);
    painter.setBrush(LabPalette::withOpacity(LabPalette::cardBackground().resolved(colours), 0.9));
    painter.drawRoundedRect(QRectF(inset, top, width, trackHeight), radius, radius);
    painter.setClipRect(QRectF(inset - radius, 0, width + 2 * radius, height()));
    painter.setBrush(LabPalette::withOpacity(LabPalette::border().resolved(colours), 0.55));
    painter.drawRoundedRect(QRectF(inset, top, std::max<qreal>(trackHeight, currentWidth), trackHeight), radius, radius);
    if (addedWidth > 0) {
        const QRectF added(inset + currentWidth, top, addedWidth, trackHeight);
        QLinearGradient fill(added.topLeft(), added.topRight());
        fill.setColorAt(0, LabPalette::withOpacity(LabPalette::teal().resolved(colours), 0.78));
        fill.setColorAt(1, LabPalette::accent().resolved(colours));
        painter.setBrush(fill);
        painter.drawRoundedRect(added, radius, radius);
    }
    painter.setClipping(false);
    const qreal markerLeft = std::clamp(inset + targetWidth - markerSize / 2, 0.0, qreal(this->width()) - markerSize);
    painter.setBrush(QColor(0, 0, 0, 30));
    painter.drawEllipse(QRectF(markerLeft, (height() - markerSize) / 2 + 1, markerSize, markerSize));
    painter.setBrush(Qt::white);
    painter.setPen(QPen(LabPalette::accent().resolved(colours), 2));
    painter.drawEllipse(QRectF(markerLeft + 1, (height() - markerSize) / 2 + 1, markerSize - 2, markerSize - 2));
}
