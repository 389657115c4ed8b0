// SPDX-License-Identifier: MIT
#include "SmartDiskAnalyticsView.h"

#include "CardFrame.h"
#include "DestructiveConfirmation.h"
#include "DiskAnalyticsPresentation.h"
#include "LabPalette.h"
#include "Layouts.h"
#include "SizeText.h"
#include "StorageBreakdownBar.h"
#include "Symbols.h"
#include "TextStyle.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int legendColumnWidth = 150;
constexpr int legendSpacing = 8;

QWidget *capacityCard(const QString &symbol, PanelTint tint, const QString &value, const QString &title, const QString &name)
{
    auto *card = new CardFrame(12);
    card->setObjectName(name);
    auto *column = new QVBoxLayout(card);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(8);
    auto *icon = new QLabel;
    icon->setObjectName(name + QStringLiteral(".symbol"));
    icon->setPixmap(Symbols::tinted(symbol, LabPalette::tint(tint, card->palette()), 20));
    icon->setProperty("tint", int(tint));
    column->addWidget(icon);
    QLabel *valueLabel = TextStyle::line(value, TextRole::title3, TextTone::primary, QFont::Bold);
    valueLabel->setObjectName(name + QStringLiteral(".value"));
    column->addWidget(valueLabel);
    QLabel *titleLabel = TextStyle::line(title, TextRole::caption, TextTone::secondary);
    titleLabel->setObjectName(name + QStringLiteral(".title"));
    column->addWidget(titleLabel);
    return card;
}

QLabel *sectionTitle(const QString &text)
{
    return TextStyle::line(text, TextRole::subheadline);
}

/// A filled circle of 8 px in a tint.
QLabel *dot(const QColor &color)
{
    QPixmap pixmap(16, 16);
    pixmap.setDevicePixelRatio(2);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QRectF(0, 0, 8, 8));
    auto *label = new QLabel;
    label->setPixmap(pixmap);
    return label;
}

} // namespace

SmartDiskAnalyticsView::SmartDiskAnalyticsView(QWidget *parent)
    : LabPanel(LabPanel::detailsCornerRadius, parent)
    , m_analyzedAt(TextStyle::line(QString(), TextRole::caption, TextTone::tertiary))
    , m_cards(new QGridLayout)
    , m_bar(new StorageBreakdownBar)
    , m_legend(new QWidget)
    , m_reclaimSection(new QWidget)
    , m_growthSection(new QWidget)
{
    setObjectName(QStringLiteral("diskAnalytics"));
    auto *layout = new QVBoxLayout(this);
    LabPanel::applyContentMargins(*layout);
    layout->setSpacing(16);

    auto *header = new QHBoxLayout;
    header->addWidget(TextStyle::line(QStringLiteral("Disk Analytics"), TextRole::headline));
    header->addStretch(1);
    m_analyzedAt->setObjectName(QStringLiteral("diskAnalytics.analyzedAt"));
    header->addWidget(m_analyzedAt);
    layout->addLayout(header);

    m_cards->setHorizontalSpacing(12);
    m_cards->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(m_cards);

    auto *breakdown = new QVBoxLayout;
    breakdown->setSpacing(10);
    breakdown->addWidget(sectionTitle(QStringLiteral("Storage Breakdown")));
    breakdown->addWidget(m_bar);
    m_legend->setObjectName(QStringLiteral("diskAnalytics.legend"));
    auto *legendGrid = new QGridLayout(m_legend);
    legendGrid->setContentsMargins(0, 0, 0, 0);
    legendGrid->setHorizontalSpacing(legendSpacing);
    legendGrid->setVerticalSpacing(6);
    breakdown->addWidget(m_legend);
    layout->addLayout(breakdown);

    m_reclaimSection->setObjectName(QStringLiteral("diskAnalytics.reclaimSection"));
    auto *reclaim = new QVBoxLayout(m_reclaimSection);
    reclaim->setContentsMargins(0, 0, 0, 0);
    reclaim->setSpacing(10);
    layout->addWidget(m_reclaimSection);

    m_growthSection->setObjectName(QStringLiteral("diskAnalytics.growthTrends"));
    auto *growth = new QVBoxLayout(m_growthSection);
    growth->setContentsMargins(0, 0, 0, 0);
    growth->setSpacing(10);
    layout->addWidget(m_growthSection);

    setAnalytics(VMDiskAnalytics {});
    rebuildReclaim();
    rebuildGrowth();
}

void SmartDiskAnalyticsView::setAnalytics(const VMDiskAnalytics &analytics)
{
    m_analytics = analytics;
    m_analyzedAt->setText(analytics.analyzedAt.isValid()
            ? QStringLiteral("Analyzed ") + QLocale().toString(analytics.analyzedAt.toLocalTime(), QLocale::ShortFormat)
            : QString());
    rebuildCards();
    m_bar->setBreakdown(analytics.breakdown(), DiskAnalyticsPresentation::breakdownTotal(analytics));
    rebuildLegend();
}

void SmartDiskAnalyticsView::setGrowth(const VMDiskGrowthHistory &history, std::optional<double> daysUntilHostFull)
{
    m_history = history;
    m_daysUntilHostFull = daysUntilHostFull;
    rebuildGrowth();
}

void SmartDiskAnalyticsView::setReclaimableItems(const QList<ReclaimRecommendation> &items)
{
    m_items = items;
    rebuildReclaim();
}

void SmartDiskAnalyticsView::setReclaiming(bool reclaiming)
{
    m_reclaiming = reclaiming;
    for (QPushButton *button : m_reclaimSection->findChildren<QPushButton *>())
        button->setEnabled(!reclaiming);
}

void SmartDiskAnalyticsView::rebuildCards()
{
    Layouts::clear(*m_cards);
    using P = DiskAnalyticsPresentation;
    m_cards->addWidget(capacityCard(QStringLiteral("internaldrive"), PanelTint::accent, SizeText::bytes(m_analytics.virtualCapacityBytes),
                           QStringLiteral("Virtual Capacity"), QStringLiteral("diskAnalytics.virtualCapacity")),
        0, 0);
    m_cards->addWidget(capacityCard(QStringLiteral("externaldrive"), PanelTint::teal, SizeText::bytes(P::hostSpaceUsedBytes(m_analytics)),
                           QStringLiteral("Host Space Used"), QStringLiteral("diskAnalytics.hostSpace")),
        0, 1);
    m_cards->addWidget(capacityCard(QStringLiteral("leaf"), PanelTint::green, SizeText::bytes(P::sparseSavingsBytes(m_analytics)),
                           QStringLiteral("Sparse Savings"), QStringLiteral("diskAnalytics.sparseSavings")),
        0, 2);
    m_cards->addWidget(capacityCard(QStringLiteral("gauge.with.dots.needle.33percent"), P::efficiencyTint(m_analytics),
                           P::efficiencyText(m_analytics), QStringLiteral("Capacity Used"), QStringLiteral("diskAnalytics.efficiency")),
        0, 3);
    for (int column = 0; column < 4; ++column)
        m_cards->setColumnStretch(column, 1);
}

void SmartDiskAnalyticsView::rebuildLegend()
{
    auto *grid = static_cast<QGridLayout *>(m_legend->layout());
    Layouts::clear(*grid);
    const int available = std::max(
        contentsRect().width() - 2 * 18 - LabPanel::shadowMargins().left() - LabPanel::shadowMargins().right(), legendColumnWidth);
    m_legendColumns = std::max(1, (available + legendSpacing) / (legendColumnWidth + legendSpacing));
    const QList<VMDiskAnalytics::BreakdownRow> rows = m_analytics.breakdown();
    for (qsizetype index = 0; index < rows.size(); ++index) {
        auto *item = new QWidget;
        item->setObjectName(QStringLiteral("diskAnalytics.legend.") + QString::number(index));
        auto *row = new QHBoxLayout(item);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(6);
        row->addWidget(dot(LabPalette::tint(DiskAnalyticsPresentation::breakdownTint(rows[index].color), palette())));
        row->addWidget(TextStyle::line(rows[index].label, TextRole::caption));
        row->addStretch(1);
        row->addWidget(TextStyle::line(SizeText::bytes(rows[index].bytes), TextRole::caption, TextTone::secondary));
        grid->addWidget(item, int(index / m_legendColumns), int(index % m_legendColumns));
    }
    for (int column = 0; column < m_legendColumns; ++column)
        grid->setColumnStretch(column, 1);
}

void SmartDiskAnalyticsView::rebuildReclaim()
{
    QLayout *layout = m_reclaimSection->layout();
    Layouts::clear(*layout);
    m_reclaimSection->setVisible(!m_items.isEmpty());
    if (m_items.isEmpty())
        return;
    auto *header = new QHBoxLayout;
    header->addWidget(sectionTitle(QStringLiteral("Reclaim Space")));
    header->addStretch(1);
    QLabel *total = TextStyle::line(DiskAnalyticsPresentation::reclaimableText(m_items), TextRole::caption);
    total->setObjectName(QStringLiteral("diskAnalytics.reclaimableTotal"));
    TextStyle::tint(*total, LabPalette::orange().resolved(palette()));
    header->addWidget(total);
    static_cast<QVBoxLayout *>(layout)->addLayout(header);
    for (const ReclaimRecommendation &item : m_items) {
        auto *row = new QHBoxLayout;
        row->addWidget(TextStyle::line(item.description, TextRole::caption));
        row->addStretch(1);
        auto *button = new QPushButton(QStringLiteral("Reclaim"));
        button->setObjectName(QStringLiteral("reclaim:") + toRaw(item.action));
        TextStyle::applyFont(*button, TextRole::caption2);
        button->setEnabled(!m_reclaiming);
        connect(button, &QPushButton::clicked, this, [this, item] { confirmReclaim(item); });
        row->addWidget(button);
        static_cast<QVBoxLayout *>(layout)->addLayout(row);
    }
}

void SmartDiskAnalyticsView::rebuildGrowth()
{
    QLayout *layout = m_growthSection->layout();
    Layouts::clear(*layout);
    const bool shown = m_history.samples.size() >= 2;
    m_growthSection->setVisible(shown);
    if (!shown)
        return;
    static_cast<QVBoxLayout *>(layout)->addWidget(sectionTitle(QStringLiteral("Growth Trends")));
    auto *figures = new QHBoxLayout;
    figures->setSpacing(20);
    auto figure = [&](const QString &caption, const QString &value, const QString &name, std::optional<QColor> color) {
        auto *column = new QVBoxLayout;
        column->setSpacing(4);
        column->addWidget(TextStyle::line(caption, TextRole::caption, TextTone::secondary));
        QLabel *valueLabel = TextStyle::line(value, TextRole::callout);
        QFont font = valueLabel->font();
        font.setWeight(QFont::Medium);
        valueLabel->setFont(font);
        valueLabel->setObjectName(name);
        if (color)
            TextStyle::tint(*valueLabel, *color);
        column->addWidget(valueLabel);
        figures->addLayout(column);
    };
    figure(QStringLiteral("Avg Daily Growth"), DiskAnalyticsPresentation::averageDailyGrowthText(m_history.averageDailyGrowthBytes()),
        QStringLiteral("diskAnalytics.averageDailyGrowth"), std::nullopt);
    if (m_daysUntilHostFull)
        figure(QStringLiteral("Est. Days Until Host Full"), DiskAnalyticsPresentation::daysUntilFullText(*m_daysUntilHostFull),
            QStringLiteral("diskAnalytics.daysUntilFull"),
            LabPalette::tint(DiskAnalyticsPresentation::daysUntilFullTint(*m_daysUntilHostFull), palette()));
    figures->addStretch(1);
    static_cast<QVBoxLayout *>(layout)->addLayout(figures);
}

void SmartDiskAnalyticsView::confirmReclaim(const ReclaimRecommendation &item)
{
    const ReclaimAction action = item.action;
    const DestructiveConfirmation confirmation {QStringLiteral("diskAnalytics.reclaimAlert"), QStringLiteral("Reclaim Space?"),
        DiskAnalyticsPresentation::reclaimConfirmation(item), QStringLiteral("Reclaim")};
    confirmation.open(this, [this, action] { Q_EMIT reclaimRequested(action); });
}

void SmartDiskAnalyticsView::resizeEvent(QResizeEvent *event)
{
    LabPanel::resizeEvent(event);
    const int available = std::max(
        contentsRect().width() - 2 * 18 - LabPanel::shadowMargins().left() - LabPanel::shadowMargins().right(), legendColumnWidth);
    if (std::max(1, (available + legendSpacing) / (legendColumnWidth + legendSpacing)) != m_legendColumns)
        rebuildLegend();
}

void SmartDiskAnalyticsView::changeEvent(QEvent *event)
{
    LabPanel::changeEvent(event);
    if (event->type() != QEvent::PaletteChange || LabPalette::isDark(palette()) == m_dark)
        return;
    m_dark = LabPalette::isDark(palette());
    QMetaObject::invokeMethod(
        this,
        [this] {
            setAnalytics(m_analytics);
            rebuildReclaim();
            rebuildGrowth();
        },
        Qt::QueuedConnection);
}
