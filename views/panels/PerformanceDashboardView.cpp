// SPDX-License-Identifier: MIT
#include "PerformanceDashboardView.h"

#include "CPUHistoryChart.h"
#include "MetricCard.h"
#include "PanelEmptyState.h"
#include "PerformanceDashboardPresentation.h"
#include "TextStyle.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QStackedWidget>
#include <QVBoxLayout>

PerformanceDashboardView::PerformanceDashboardView(QWidget *parent)
    : LabPanel(LabPanel::detailsCornerRadius, parent)
    , m_sampleCount(TextStyle::line(QString(), TextRole::caption, TextTone::secondary))
    , m_lastRun(TextStyle::label(QString(), TextRole::callout, true))
    , m_body(new QStackedWidget)
    , m_cpu(new MetricCard(QStringLiteral("performance.cpu"), QStringLiteral("cpu"), QStringLiteral("CPU Usage"), true))
    , m_memory(new MetricCard(QStringLiteral("performance.memory"), QStringLiteral("memorychip"), QStringLiteral("Memory"), true))
    , m_disk(new MetricCard(QStringLiteral("performance.disk"), QStringLiteral("internaldrive"), QStringLiteral("Disk I/O"), false))
    , m_network(new MetricCard(QStringLiteral("performance.network"), QStringLiteral("network"), QStringLiteral("Network"), false))
    , m_chart(new CPUHistoryChart)
{
    setObjectName(QStringLiteral("performanceDashboard"));
    auto *layout = new QVBoxLayout(this);
    LabPanel::applyContentMargins(*layout);
    layout->setSpacing(16);

    auto *header = new QHBoxLayout;
    header->addWidget(TextStyle::line(QStringLiteral("Performance"), TextRole::headline));
    header->addStretch(1);
    m_sampleCount->setObjectName(QStringLiteral("performance.sampleCount"));
    header->addWidget(m_sampleCount);
    layout->addLayout(header);
    m_lastRun->setObjectName(QStringLiteral("performance.lastRun"));
    m_lastRun->hide();
    layout->addWidget(m_lastRun);

    auto *metrics = new QWidget;
    auto *column = new QVBoxLayout(metrics);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(14);
    auto *cards = new QGridLayout;
    cards->setSpacing(14);
    cards->addWidget(m_cpu, 0, 0);
    cards->addWidget(m_memory, 0, 1);
    cards->addWidget(m_disk, 1, 0);
    cards->addWidget(m_network, 1, 1);
    cards->setColumnStretch(0, 1);
    cards->setColumnStretch(1, 1);
    column->addLayout(cards);
    auto *history = new QVBoxLayout;
    history->setSpacing(8);
    QLabel *chartTitle = TextStyle::line(QStringLiteral("CPU History"), TextRole::caption, TextTone::secondary);
    QFont font = chartTitle->font();
    font.setWeight(QFont::Medium);
    chartTitle->setFont(font);
    history->addWidget(chartTitle);
    history->addWidget(m_chart);
    column->addLayout(history);

    m_disk->setTint(PanelTint::orange);
    m_network->setTint(PanelTint::teal);
    m_body->addWidget(new PanelEmptyState({QStringLiteral("performance.empty"), QStringLiteral("chart.xyaxis.line"), 28, 20, QString(),
        QStringLiteral("Start the VM to see live performance metrics"), TextRole::callout, TextTone::secondary}));
    m_body->addWidget(metrics);
    layout->addWidget(m_body);
    setHistory(VMPerformanceHistory());
}

void PerformanceDashboardView::setLastRunNote(const std::optional<QString> &note)
{
    m_lastRun->setText(note.value_or(QString()));
    m_lastRun->setVisible(note.has_value());
}

void PerformanceDashboardView::setHistory(const VMPerformanceHistory &history)
{
    using P = PerformanceDashboardPresentation;
    const bool empty = history.samples().isEmpty();
    m_sampleCount->setVisible(!empty);
    m_body->setCurrentIndex(empty ? 0 : 1);
    if (empty)
        return;
    m_sampleCount->setText(P::sampleCountText(history.samples().size()));
    const VMPerformanceMetrics &latest = history.latest();

    m_cpu->setTint(P::cpuTint(latest.cpuUsagePercent));
    m_cpu->setValue(P::percentText(latest.cpuUsagePercent));
    m_cpu->setFraction(latest.cpuUsagePercent / 100.0);
    m_cpu->setDetail(P::cpuDetail(history));

    const double memory = P::memoryPercent(latest);
    m_memory->setTint(P::memoryTint(latest));
    m_memory->setValue(P::percentText(memory));
    m_memory->setFraction(memory / 100.0);
    m_memory->setDetail(P::memoryDetail(latest));

    m_disk->setValue(P::diskReadText(latest));
    m_disk->setDetail(P::diskWriteText(latest));
    m_network->setValue(P::networkSentText(latest));
    m_network->setDetail(P::networkReceivedText(latest));
    m_chart->setHistory(history);
}
