// SPDX-License-Identifier: MIT
#include "StorageBreakdownBar.h"

#include "DiskAnalyticsPresentation.h"
#include "LabPalette.h"

#include <QPainter>
#include <QPainterPath>

StorageBreakdownBar::StorageBreakdownBar(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("diskAnalytics.bar"));
    setFixedHeight(16);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void StorageBreakdownBar::setBreakdown(const QList<VMDiskAnalytics::BreakdownRow> &rows, double total)
{
    m_rows = rows;
    m_total = total;
    update();
}

void StorageBreakdownBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath strip;
    strip.addRoundedRect(QRectF(rect()), 4, 4);
    painter.setClipPath(strip);
    painter.fillPath(strip, LabPalette::withOpacity(LabPalette::border().resolved(palette()), 0.35));
    painter.setPen(Qt::NoPen);
    const QList<double> widths = DiskAnalyticsPresentation::segmentWidths(m_rows, m_total, width());
    double x = 0;
    for (qsizetype index = 0; index < m_rows.size(); ++index) {
        painter.setBrush(LabPalette::tint(DiskAnalyticsPresentation::breakdownTint(m_rows[index].color), palette()));
        painter.drawRoundedRect(QRectF(x, 0, widths[index], height()), 3, 3);
        x += widths[index] + 1;
    }
}
