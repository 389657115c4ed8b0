// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

/**
 * The drawn bar of the disk-expansion sheet: a track, the current capacity,
 * the added capacity as a teal-to-accent gradient and a round marker at the
 * target. Fractions are of the track's width and may lie outside 0…1; what
 * falls outside is clipped to the widget.
 */
class CapacityBar final : public QWidget
{
    Q_OBJECT

public:
    explicit CapacityBar(QWidget *parent = nullptr);

    void setFractions(double current, double target);
    QSize sizeHint() const override { return {300, 24}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    double m_current = 0;
    double m_target = 0;
};
