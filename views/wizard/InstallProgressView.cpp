// SPDX-License-Identifier: MIT
#include "InstallProgressView.h"

#include "InstallProgressTexts.h"
#include "TextStyle.h"
#include "WizardWidgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {
constexpr int barSteps = 1000;
}

InstallProgressView::InstallProgressView(QWidget *parent)
    : LabPanel(18, parent)
    , m_title(TextStyle::label(QString(), TextRole::headline))
    , m_bar(new QProgressBar)
    , m_detail(TextStyle::label(QString(), TextRole::body, true))
    , m_percent(TextStyle::label(QString(), TextRole::body, true))
    , m_downloadLines(new QWidget)
    , m_bytes(TextStyle::label(QString(), TextRole::callout, true))
    , m_eta(TextStyle::label(QString(), TextRole::callout, true))
    , m_cancel(WizardWidgets::button(tr("Cancel Download"), QString(), QStringLiteral("progress.cancelDownload")))
{
    setObjectName(QStringLiteral("installProgress"));
    m_title->setObjectName(QStringLiteral("progress.title"));
    m_bar->setObjectName(QStringLiteral("progress.bar"));
    m_detail->setObjectName(QStringLiteral("progress.detail"));
    m_percent->setObjectName(QStringLiteral("progress.percent"));
    m_bytes->setObjectName(QStringLiteral("progress.bytes"));
    m_eta->setObjectName(QStringLiteral("progress.eta"));
    m_downloadLines->setObjectName(QStringLiteral("progress.download"));

    m_bar->setRange(0, barSteps);
    m_bar->setTextVisible(false);
    m_percent->setWordWrap(false);
    QFont digits = m_percent->font();
    // Lining, fixed-width digits so the number does not shift as it grows.
    digits.setFixedPitch(true);
    m_percent->setFont(digits);

    auto *detailRow = new QHBoxLayout;
    detailRow->addWidget(m_detail, 1);
    detailRow->addWidget(m_percent, 0, Qt::AlignVCenter);

    auto *download = new QVBoxLayout(m_downloadLines);
    download->setContentsMargins(0, 0, 0, 0);
    download->setSpacing(6);
    download->addWidget(m_bytes);
    download->addWidget(m_eta);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(shadowMargins() + QMargins(18, 18, 18, 18));
    column->setSpacing(16);
    column->addWidget(m_title);
    column->addWidget(m_bar);
    column->addLayout(detailRow);
    column->addWidget(m_downloadLines);
    column->addWidget(m_cancel, 0, Qt::AlignLeft);
    connect(m_cancel, &QPushButton::clicked, this, &InstallProgressView::cancelDownloadRequested);
    setProgress(VMInstallProgress(), false);
}

void InstallProgressView::setProgress(const VMInstallProgress &progress, bool isCancelable)
{
    m_title->setText(InstallProgressTexts::stageTitle(progress.stage));
    const double fraction = std::isfinite(progress.fractionCompleted) ? std::clamp(progress.fractionCompleted, 0.0, 1.0) : 0.0;
    m_bar->setValue(int(std::lround(fraction * barSteps)));
    m_detail->setText(progress.detail);
    m_percent->setText(InstallProgressTexts::percentText(progress.fractionCompleted));

    const bool downloading = InstallProgressTexts::isDownloadStage(progress.stage);
    WizardWidgets::setShown(*m_downloadLines, downloading);
    const std::optional<QString> bytes = InstallProgressTexts::bytesText(progress);
    const std::optional<QString> eta = InstallProgressTexts::etaText(progress);
    m_bytes->setText(bytes.value_or(QString()));
    m_eta->setText(eta.value_or(QString()));
    WizardWidgets::setShown(*m_bytes, downloading && bytes.has_value());
    WizardWidgets::setShown(*m_eta, downloading && eta.has_value());
    m_cancel->setText(downloading ? tr("Cancel Download") : tr("Cancel"));
    WizardWidgets::setShown(*m_cancel, isCancelable);
}
