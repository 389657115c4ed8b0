// SPDX-License-Identifier: MIT
#include "VMConsoleView.h"

#include "ConsoleDisplayArea.h"
#include "ConsoleHeader.h"
#include "ConsoleTexts.h"
#include "ErrorBannerView.h"
#include "VMConsoleViewModel.h"
#include "VMDetailsActions.h"
#include "ViewCommand.h"

#include <QPushButton>

VMConsoleView::VMConsoleView(
    std::shared_ptr<VMConsoleViewModel> viewModel, QWidget *parent, std::unique_ptr<GuestDisplayConnection> connection)
    : ConsoleFrame(parent, std::move(connection))
    , m_viewModel(std::move(viewModel))
{
    setObjectName(QStringLiteral("console"));
    ConsoleHeader *row = header();
    m_start = row->addButton(QStringLiteral("console.button.start"), tr("Start"));
    m_resumeSavedState = row->addButton(QStringLiteral("console.button.resumeSavedState"), tr("Resume Saved State"));
    m_pause = row->addButton(QStringLiteral("console.button.pause"), tr("Pause"));
    m_resume = row->addButton(QStringLiteral("console.button.resume"), tr("Resume"));
    m_saveState = row->addButton(QStringLiteral("console.button.saveState"), tr("Save State"));
    m_discardSavedState = row->addButton(QStringLiteral("console.button.discardSavedState"), tr("Discard Saved State"));
    m_stop = row->addButton(QStringLiteral("console.button.stop"), tr("Stop"));
    m_close = row->addButton(QStringLiteral("console.button.close"), tr("Close"));

    const auto command = [this](QPushButton *button, QCoro::Task<> (VMConsoleViewModel::*action)()) {
        connect(button, &QPushButton::clicked, this, [this, action] {
            ViewCommand::start(*this, ((*m_viewModel).*action)(),
                [model = m_viewModel.get()](const QString &message) { model->setErrorMessage(message); });
        });
    };
    command(m_start, &VMConsoleViewModel::start);
    command(m_resumeSavedState, &VMConsoleViewModel::resumeSavedState);
    command(m_pause, &VMConsoleViewModel::pause);
    command(m_resume, &VMConsoleViewModel::resume);
    command(m_saveState, &VMConsoleViewModel::saveState);
    command(m_discardSavedState, &VMConsoleViewModel::discardSavedState);
    command(m_stop, &VMConsoleViewModel::stop);
    connect(m_close, &QPushButton::clicked, this, [this] { m_viewModel->close(); });

    connect(banner(), &ErrorBannerView::dismissed, this, [this] { m_viewModel->setErrorMessage(std::nullopt); });
    connect(m_viewModel.get(), &VMConsoleViewModel::errorMessageChanged, this,
        [this] { showMessage(m_viewModel->errorMessage(), m_viewModel->messageKind()); });
    connect(m_viewModel.get(), &VMConsoleViewModel::sessionChanged, this, [this] { showSession(true); });
    connect(m_viewModel.get(), &VMConsoleViewModel::stateChanged, this, [this] { showSession(false); });
    connect(m_viewModel.get(), &VMConsoleViewModel::busyChanged, this, &VMConsoleView::showButtons);
    connect(
        displayArea(), &ConsoleDisplayArea::displayFailed, this, [this](const QString &message) { m_viewModel->setErrorMessage(message); });
    showMessage(m_viewModel->errorMessage(), m_viewModel->messageKind());
    showSession(false);
}

VMConsoleView::~VMConsoleView() = default;

void VMConsoleView::showSession(bool newRun)
{
    const VMBundle &bundle = m_viewModel->bundle();
    const VMRuntimeState state = m_viewModel->runtimeState();
    const bool stopped = state == VMRuntimeState::stopped;
    const bool hasSavedState = bundle.metadata.hasSavedState;

    header()->setTitle(bundle.metadata.name);
    header()->setRuntimeState(state);
    showButtons();

    if (stopped)
        displayArea()->setPlaceholder(hasSavedState ? tr("Start with a cold boot or resume the saved state from this console.")
                                                    : ConsoleTexts::startHint(bundle.metadata.guestOSType));
    else
        displayArea()->setPlaceholder(std::nullopt);

    const std::weak_ptr<VMConsoleViewModel> viewModel = m_viewModel;
    displayArea()->follow(
        m_viewModel->displayLink(),
        [viewModel] {
            const std::shared_ptr<VMConsoleViewModel> alive = viewModel.lock();
            return alive ? alive->displaySocketPath() : QString();
        },
        newRun);
}

void VMConsoleView::showButtons()
{
    // The row offers the actions of the VM's state; which can be pressed now follows the details pane's rule.
    const VMDetailsActions::Inputs inputs = m_viewModel->actionInputs();
    const std::pair<QPushButton *, VMDetailsAction> offered[] = {
        {m_start, VMDetailsAction::start},
        {m_resumeSavedState, VMDetailsAction::resumeSavedState},
        {m_pause, VMDetailsAction::pause},
        {m_resume, VMDetailsAction::resume},
        {m_discardSavedState, VMDetailsAction::discardSavedState},
    };
    for (const auto &[button, action] : offered) {
        button->setVisible(VMDetailsActions::applies(inputs, action));
        button->setEnabled(VMDetailsActions::isEnabled(inputs, action));
    }
    m_saveState->setEnabled(VMDetailsActions::isEnabled(inputs, VMDetailsAction::saveState));
    m_stop->setEnabled(VMDetailsActions::isEnabled(inputs, VMDetailsAction::stop));
}
