// SPDX-License-Identifier: MIT
#pragma once

#include "VMDiskAnalytics.h"

#include <QWidget>

/**
 * The painted storage bar: one rounded segment per breakdown row, in row
 * order, 1 px apart, each its share of the total and at least 2 px wide,
 * clipped to the bar's rounded strip. Object name "diskAnalytics.bar".
 */
class StorageBreakdownBar final : public QWidget
{
    Q_OBJECT

public:
    explicit StorageBreakdownBar(QWidget *parent = nullptr);

    void setBreakdown(const QList<VMDiskAnalytics::BreakdownRow> &rows, double total);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QList<VMDiskAnalytics::BreakdownRow> m_rows;
    double m_total = 1;
};
