// SPDX-License-Identifier: MIT
#include "SelectedVMSummaryView.h"

#include "LabGroupBox.h"
#include "VMDetailsViewModel.h"

#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

QLabel *valueLabel(const QString &objectName)
{
    auto *label = new QLabel;
    label->setObjectName(objectName);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

SelectedVMSummaryView::SelectedVMSummaryView(std::unique_ptr<VMDetailsViewModel> viewModel, QWidget *parent)
    : QWidget(parent)
    , m_viewModel(std::move(viewModel))
    , m_title(valueLabel(QStringLiteral("details.title")))
    , m_runState(valueLabel(QStringLiteral("details.runState")))
    , m_installState(valueLabel(QStringLiteral("details.installState")))
    , m_hardware(valueLabel(QStringLiteral("details.hardware")))
    , m_network(valueLabel(QStringLiteral("details.network")))
    , m_guestTools(valueLabel(QStringLiteral("details.guestTools")))
{
    setObjectName(QStringLiteral("details"));
    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.8);
    titleFont.setBold(true);
    m_title->setFont(titleFont);

    auto *overview = new LabGroupBox(tr("Overview"));
    auto *form = new QFormLayout;
    form->setHorizontalSpacing(18);
    form->setVerticalSpacing(10);
    form->addRow(tr("State"), m_runState);
    form->addRow(tr("Installation"), m_installState);
    form->addRow(tr("Hardware"), m_hardware);
    form->addRow(tr("Network"), m_network);
    form->addRow(tr("Guest Tools"), m_guestTools);
    overview->contentLayout()->addLayout(form);

    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(16);
    stack->addWidget(m_title);
    stack->addWidget(overview);
    stack->addStretch();

    connect(m_viewModel.get(), &VMDetailsViewModel::bundleChanged, this, &SelectedVMSummaryView::refresh);
    connect(m_viewModel.get(), &VMDetailsViewModel::guestAutomationStatusChanged, this, &SelectedVMSummaryView::refresh);
    refresh();
}

SelectedVMSummaryView::~SelectedVMSummaryView() = default;

void SelectedVMSummaryView::refresh()
{
    m_title->setText(m_viewModel->displayTitle());
    m_runState->setText(m_viewModel->runtimeStateText());
    m_installState->setText(m_viewModel->installStateText());
    m_hardware->setText(m_viewModel->hardwareSummary());
    m_network->setText(m_viewModel->networkSummary());
    m_guestTools->setText(m_viewModel->guestToolsStatusSummary());
}
