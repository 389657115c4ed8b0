// SPDX-License-Identifier: MIT
#pragma once

#include "VMPerformanceHistory.h"

#include <QWidget>

/**
 * The painted CPU history: the newest samples as a line from the accent to
 * the teal colour over a translucent area, on a fixed 0-100 % scale across
 * the full width, on the card colour at half opacity. Fewer than two samples
 * draw only the background. Object name "performance.chart".
 */
class CPUHistoryChart final : public QWidget
{
    Q_OBJECT

public:
    explicit CPUHistoryChart(QWidget *parent = nullptr);

    void setHistory(const VMPerformanceHistory &history);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    VMPerformanceHistory m_history;
};
