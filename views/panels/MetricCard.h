// SPDX-License-Identifier: MIT
#pragma once

#include "CardFrame.h"
#include "PanelTint.h"

#include <optional>

class QLabel;

/**
 * One card of the performance dashboard: a tinted symbol and a title, a
 * large value, an optional usage bar and a detail line. Its labels are
 * updated in place by the setters, never rebuilt. Children:
 * "<name>.value", "<name>.detail", "<name>.bar".
 */
class MetricCard final : public CardFrame
{
    Q_OBJECT

public:
    MetricCard(const QString &name, const QString &symbol, const QString &title, bool hasBar, QWidget *parent = nullptr);

    /// Tints the symbol and the bar.
    void setTint(PanelTint tint);
    void setValue(const QString &value);
    void setDetail(const QString &detail);
    /// The bar's fraction, clamped to 0...1; ignored without a bar.
    void setFraction(double fraction);

protected:
    void changeEvent(QEvent *event) override;

private:
    void repaintSymbol();

    QString m_symbol;
    PanelTint m_tint = PanelTint::accent;
    QLabel *m_icon;
    QLabel *m_value;
    QLabel *m_detail;
    QWidget *m_bar = nullptr;
};
