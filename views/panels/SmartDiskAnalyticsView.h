// SPDX-License-Identifier: MIT
#pragma once

#include "LabPanel.h"
#include "ReclaimRecommendation.h"
#include "VMDiskAnalytics.h"
#include "VMDiskGrowthHistory.h"

#include <optional>

class QGridLayout;
class QLabel;
class QVBoxLayout;
class StorageBreakdownBar;

/**
 * The "Disk Analytics" panel: capacity cards (virtual capacity, host space,
 * sparse savings, efficiency), the storage breakdown bar with its legend,
 * the reclaimable items with a "Reclaim" button each, and the growth trends.
 * The owner passes the figures through the setters and carries out
 * reclaimRequested(), which is emitted only after the user confirmed a
 * dialog giving the size and what is lost. While setReclaiming(true) the
 * Reclaim buttons are disabled. Children: "diskAnalytics.efficiency",
 * "diskAnalytics.sparseSavings", "diskAnalytics.bar", "diskAnalytics.legend",
 * "diskAnalytics.reclaimSection", "reclaim:<action>",
 * "diskAnalytics.reclaimAlert", "diskAnalytics.growthTrends",
 * "diskAnalytics.daysUntilFull".
 */
class SmartDiskAnalyticsView final : public LabPanel
{
    Q_OBJECT

public:
    explicit SmartDiskAnalyticsView(QWidget *parent = nullptr);

    void setAnalytics(const VMDiskAnalytics &analytics);
    /// The growth history and its estimate of the days until the host volume is full.
    void setGrowth(const VMDiskGrowthHistory &history, std::optional<double> daysUntilHostFull);
    void setReclaimableItems(const QList<ReclaimRecommendation> &items);
    void setReclaiming(bool reclaiming);

protected:
    /// Symbols are painted in the appearance's colours: they are drawn again when it changes.
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

Q_SIGNALS:
    void reclaimRequested(ReclaimAction action);

private:
    void rebuildCards();
    void rebuildLegend();
    void rebuildReclaim();
    void rebuildGrowth();
    void confirmReclaim(const ReclaimRecommendation &item);

    VMDiskAnalytics m_analytics;
    VMDiskGrowthHistory m_history;
    std::optional<double> m_daysUntilHostFull;
    QList<ReclaimRecommendation> m_items;
    bool m_reclaiming = false;
    int m_legendColumns = 0;

    QLabel *m_analyzedAt;
    QGridLayout *m_cards;
    StorageBreakdownBar *m_bar;
    QWidget *m_legend;
    QWidget *m_reclaimSection;
    QWidget *m_growthSection;
    /// Whether the symbols were last painted for a dark appearance.
    bool m_dark = false;
};
