// SPDX-License-Identifier: MIT
#include "QEMUConsoleView.h"

#include "ConsoleDisplayArea.h"
#include "ConsoleHeader.h"
#include "ConsoleTexts.h"
#include "ErrorBannerView.h"
#include "QEMUConsoleViewModel.h"
#include "VMDetailsActions.h"
#include "ViewCommand.h"

#include <QPushButton>

QEMUConsoleView::QEMUConsoleView(
    std::shared_ptr<QEMUConsoleViewModel> viewModel, QWidget *parent, std::unique_ptr<GuestDisplayConnection> connection)
    : ConsoleFrame(parent, std::move(connection))
    , m_viewModel(std::move(viewModel))
{
    setObjectName(QStringLiteral("console"));
    m_stop = header()->addButton(QStringLiteral("console.button.stop"), tr("Stop"));
    m_close = header()->addButton(QStringLiteral("console.button.close"), tr("Close"));
    connect(m_stop, &QPushButton::clicked, this, [this] {
        ViewCommand::start(
            *this, m_viewModel->stop(), [model = m_viewModel.get()](const QString &message) { model->setErrorMessage(message); });
    });
    connect(m_close, &QPushButton::clicked, this, [this] { m_viewModel->close(); });
    connect(banner(), &ErrorBannerView::dismissed, this, [this] { m_viewModel->setErrorMessage(std::nullopt); });
    connect(m_viewModel.get(), &QEMUConsoleViewModel::errorMessageChanged, this, [this] { showMessage(m_viewModel->errorMessage()); });
    connect(m_viewModel.get(), &QEMUConsoleViewModel::runtimeStateChanged, this, &QEMUConsoleView::showState);
    connect(m_viewModel.get(), &QEMUConsoleViewModel::busyChanged, this, &QEMUConsoleView::showStop);
    connect(
        displayArea(), &ConsoleDisplayArea::displayFailed, this, [this](const QString &message) { m_viewModel->setErrorMessage(message); });
    header()->setTitle(m_viewModel->bundle().metadata.name);
    showMessage(m_viewModel->errorMessage());
    showState();
}

QEMUConsoleView::~QEMUConsoleView() = default;

void QEMUConsoleView::showState()
{
    const VMRuntimeState state = m_viewModel->runtimeState();
    header()->setRuntimeState(state);
    showStop();
    if (state == VMRuntimeState::stopped)
        displayArea()->setPlaceholder(ConsoleTexts::startHint(m_viewModel->bundle().metadata.guestOSType));
    else
        displayArea()->setPlaceholder(std::nullopt);
    const std::weak_ptr<QEMUConsoleViewModel> viewModel = m_viewModel;
    displayArea()->follow(m_viewModel->displayLink(), [viewModel] {
        const std::shared_ptr<QEMUConsoleViewModel> alive = viewModel.lock();
        return alive ? alive->displaySocketPath() : QString();
    });
}

void QEMUConsoleView::showStop()
{
    m_stop->setEnabled(VMDetailsActions::isEnabled(m_viewModel->actionInputs(), VMDetailsAction::stop));
}
