// SPDX-License-Identifier: MIT
#include "CPUHistoryChart.h"

#include "LabPalette.h"
#include "PerformanceDashboardPresentation.h"

#include <QPainter>
#include <QPainterPath>

CPUHistoryChart::CPUHistoryChart(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("performance.chart"));
    setFixedHeight(80);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void CPUHistoryChart::setHistory(const VMPerformanceHistory &history)
{
    m_history = history;
    update();
}

void CPUHistoryChart::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath background;
    background.addRoundedRect(QRectF(rect()), 8, 8);
    painter.fillPath(background, LabPalette::withOpacity(LabPalette::cardBackground().resolved(palette()), 0.5));

    const QList<QPointF> points = PerformanceDashboardPresentation::cpuChartPoints(m_history, width(), height());
    if (points.size() < 2)
        return;
    // Points above 100 % lie above the top edge; the area's rounded corners clip them.
    painter.setClipPath(background);
    const QColor accent = LabPalette::accent().resolved(palette());
    const QColor teal = LabPalette::teal().resolved(palette());

    QPainterPath line(points.first());
    for (qsizetype index = 1; index < points.size(); ++index)
        line.lineTo(points[index]);
    QLinearGradient stroke(0, 0, width(), 0);
    stroke.setColorAt(0, accent);
    stroke.setColorAt(1, teal);
    QPen pen(QBrush(stroke), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    pen.setMiterLimit(10);
    painter.strokePath(line, pen);

    QPainterPath area(QPointF(0, height()));
    for (const QPointF &point : points)
        area.lineTo(point);
    area.lineTo(width(), height());
    area.closeSubpath();
    QLinearGradient fill(0, 0, 0, height());
    fill.setColorAt(0, LabPalette::withOpacity(accent, 0.15));
    fill.setColorAt(1, LabPalette::withOpacity(accent, 0.02));
    painter.fillPath(area, fill);
}
