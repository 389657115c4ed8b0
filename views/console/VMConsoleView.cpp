// SPDX-License-Identifier: MIT
#include "VMConsoleView.h"

#include "ConsoleDisplayArea.h"
#include "ConsoleHeader.h"
#include "ConsoleTexts.h"
#include "ErrorBannerView.h"
#include "VMConsoleViewModel.h"
#include "VirtualMachineSession.h"

#include <QCoroTask>
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

    connect(m_start, &QPushButton::clicked, this, [this] { run(&VMConsoleViewModel::start); });
    connect(m_resumeSavedState, &QPushButton::clicked, this, [this] { run(&VMConsoleViewModel::resumeSavedState); });
    connect(m_pause, &QPushButton::clicked, this, [this] { run(&VMConsoleViewModel::pause); });
    connect(m_resume, &QPushButton::clicked, this, [this] { run(&VMConsoleViewModel::resume); });
    connect(m_saveState, &QPushButton::clicked, this, [this] { run(&VMConsoleViewModel::saveState); });
    connect(m_discardSavedState, &QPushButton::clicked, this, [this] { run(&VMConsoleViewModel::discardSavedState); });
    connect(m_stop, &QPushButton::clicked, this, [this] { run(&VMConsoleViewModel::stop); });
    connect(m_close, &QPushButton::clicked, this, [this] { m_viewModel->close(); });

    connect(banner(), &ErrorBannerView::dismissed, this, [this] { m_viewModel->setErrorMessage(std::nullopt); });
    connect(m_viewModel.get(), &VMConsoleViewModel::errorMessageChanged, this, [this] { showMessage(m_viewModel->errorMessage()); });
    connect(m_viewModel.get(), &VMConsoleViewModel::sessionChanged, this, &VMConsoleView::bindSession);
    connect(
        displayArea(), &ConsoleDisplayArea::displayFailed, this, [this](const QString &message) { m_viewModel->setErrorMessage(message); });
    showMessage(m_viewModel->errorMessage());
    bindSession();
}

VMConsoleView::~VMConsoleView() = default;

void VMConsoleView::bindSession()
{
    const std::shared_ptr<VirtualMachineSession> &session = m_viewModel->session();
    const bool newRun = m_boundSession && m_boundSession != session.get();
    disconnect(m_stateConnection);
    disconnect(m_bundleConnection);
    m_boundSession = session.get();
    m_stateConnection = connect(session.get(), &VirtualMachineSession::runtimeStateChanged, this, [this] { showSession(false); });
    m_bundleConnection = connect(session.get(), &VirtualMachineSession::bundleChanged, this, [this] { showSession(false); });
    showSession(newRun);
}

void VMConsoleView::showSession(bool newRun)
{
    const VirtualMachineSession &session = *m_viewModel->session();
    const VMRuntimeState state = session.runtimeState();
    const bool stopped = state == VMRuntimeState::stopped;
    const bool hasSavedState = session.bundle().metadata.hasSavedState;

    header()->setTitle(session.bundle().metadata.name);
    header()->setRuntimeState(state);
    m_start->setVisible(stopped);
    m_resumeSavedState->setVisible(stopped && hasSavedState);
    m_pause->setVisible(state == VMRuntimeState::running);
    m_resume->setVisible(state == VMRuntimeState::paused);
    m_saveState->setEnabled(isRunningOrPaused(state));
    m_discardSavedState->setVisible(stopped && hasSavedState);
    m_stop->setEnabled(!stopped);

    if (stopped)
        displayArea()->setPlaceholder(hasSavedState ? tr("Start with a cold boot or resume the saved state from this console.")
                                                    : ConsoleTexts::startHint(session.bundle().metadata.guestOSType));
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

template <typename Action> void VMConsoleView::run(Action action)
{
    // The view model reports its own failures; the task only has to run to its end.
    QCoro::connect(((*m_viewModel).*action)(), this, [] {});
}
