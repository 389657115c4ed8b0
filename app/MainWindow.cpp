// SPDX-License-Identifier: MIT
#include "MainWindow.h"

#include "AppState.h"
#include "LabPalette.h"
#include "LibraryView.h"
#include "MenuCommands.h"
#include "SelectedVMSummaryView.h"
#include "TemplateLibraryDialog.h"
#include "VMDetailsViewModel.h"
#include "VMConsoleViewModel.h"
#include "VMDetailsTexts.h"
#include "VirtualMachineSession.h"

#include <QCoroTask>
#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QToolBar>

namespace {

QCoro::Task<> reloadThenPrepare(QPointer<MainWindow> window, AppState &state)
{
    co_await state.vmStore().reload();
    if (window)
        co_await state.prepareGuestFoldersForAllBundles();
}

} // namespace

MainWindow::MainWindow(AppState &state, QWidget *parent)
    : QMainWindow(parent)
    , m_state(state)
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(tr("Zovozu VM Lab"));
    resize(1100, 720);

    LibraryView::Actions actions;
    actions.makeDetailsView = [this](const QUuid &id) -> QWidget * { return new SelectedVMSummaryView(m_state.makeDetailsViewModel(id)); };
    actions.openConsole = [this](const QUuid &id) { openConsole(id); };
    actions.showTemplateLibrary = [this] {
        auto *library = new TemplateLibraryDialog(m_state.templateService().templates(), this);
        library->setAttribute(Qt::WA_DeleteOnClose);
        library->open();
    };
    m_library = new LibraryView(state.libraryViewModel(), std::move(actions));
    setCentralWidget(m_library);

    auto *toolbar = addToolBar(tr("Library"));
    toolbar->setObjectName(QStringLiteral("mainWindow.toolbar"));
    toolbar->setMovable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolbar->addActions(m_library->toolbarActions());

    m_commands = new MenuCommands(*this, *m_library, state.libraryViewModel());
    QMenu *file = menuBar()->findChild<QMenu *>(QStringLiteral("menu.file"));
    QAction *newWindow = new QAction(tr("New Window"), this);
    newWindow->setObjectName(QStringLiteral("command.newWindow"));
    newWindow->setShortcut(QKeySequence::New);
    connect(newWindow, &QAction::triggered, this, &MainWindow::openNewWindow);
    file->insertAction(file->actions().constFirst(), newWindow);
    file->insertSeparator(file->actions().at(1));
}

MainWindow::~MainWindow() = default;

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_launched) {
        m_launched = true;
        runLaunchTask();
    }
}

void MainWindow::runLaunchTask()
{
    // The reload never throws; a failure shows in the banner and the library stays empty.
    QCoro::connect(reloadThenPrepare(this, m_state), this, [] {});
}

void MainWindow::openConsole(const QUuid &id)
{
    std::shared_ptr<VirtualMachineSession> session;
    try {
        session = m_state.coordinator().session(id);
    } catch (...) {
        // No session to show: nothing opens, and the selection stays.
        return;
    }
    // Until the live display joins, the console shows which VM it belongs to and its state.
    auto *content = new QWidget;
    content->setObjectName(QStringLiteral("console.content"));
    std::unique_ptr<VMConsoleViewModel> viewModel = m_state.makeConsoleViewModel(session);
    viewModel->setParent(content);
    auto *name = new QLabel(session->bundle().metadata.name);
    name->setTextFormat(Qt::PlainText);
    auto *state = new QLabel(displayName(session->runtimeState()));
    state->setObjectName(QStringLiteral("console.runState"));
    auto *layout = new QVBoxLayout(content);
    layout->addWidget(name);
    layout->addWidget(state);
    layout->addStretch();
    connect(session.get(), &VirtualMachineSession::runtimeStateChanged, state,
            [state, weak = std::weak_ptr<VirtualMachineSession>(session)] {
                if (const auto live = weak.lock())
                    state->setText(displayName(live->runtimeState()));
            });
    viewModel.release();
    m_state.consoleWindowManager().openConsole(*session, content);
}

void MainWindow::openNewWindow()
{
    auto *window = new MainWindow(m_state);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
}
