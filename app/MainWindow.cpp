// SPDX-License-Identifier: MIT
#include "MainWindow.h"

#include "AppState.h"
#include "CreateVMWizardView.h"
#include "CreateVMWizardViewModel.h"
#include "LibraryView.h"
#include "MenuCommands.h"
#include "SaveAsTemplateSheet.h"
#include "TemplateLibraryDialog.h"
#include "TemplateLibraryViewModel.h"
#include "VMDetailsView.h"
#include "VMDetailsViewModel.h"
#include "VMExportSheet.h"
#include "VMSettingsSheet.h"
#include "VMStore.h"
#include "ViewCommand.h"

#include <QCoroTask>
#include <QEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <QToolBar>

#include <algorithm>

namespace {

/// Where the size and place of the window closed last are kept, for the next one.
const QString geometryKey = QStringLiteral("MainWindow/Geometry");

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
    , m_chooser(this)
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(tr("Zovozu VM Lab"));
    const QByteArray saved = QSettings().value(geometryKey).toByteArray();
    if (saved.isEmpty() || !restoreGeometry(saved))
        resize(1100, 720);

    LibraryView::Actions actions;
    actions.makeDetailsView = [this](const QUuid &id) -> QWidget * {
        auto *details = new VMDetailsView(m_state.makeDetailsViewModels(id, m_chooser));
        connect(details, &VMDetailsView::consoleRequested, this, &MainWindow::openConsole);
        m_state.libraryViewModel().shareBannerWith(details->viewModel());
        fillDetailsPane(*details);
        return details;
    };
    actions.openConsole = [this](const QUuid &id) { openConsole(id); };
    actions.createVM = [this] { openCreateWizard(m_state.makeCreateWizardViewModel()); };
    actions.showTemplateLibrary = [this] {
        auto *library = new TemplateLibraryDialog(m_state.makeTemplateLibraryViewModel(), this);
        library->setAttribute(Qt::WA_DeleteOnClose);
        connect(library, &TemplateLibraryDialog::templateChosen, this, [this](const VMTemplate &chosen) {
            std::shared_ptr<CreateVMWizardViewModel> wizard = m_state.makeCreateWizardViewModel();
            wizard->applyTemplate(chosen);
            openCreateWizard(std::move(wizard));
        });
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
    connect(m_commands, &MenuCommands::quitRequested, this, [this] { m_state.quitConfirmation().quit(*this); });
    QMenu *file = m_commands->fileMenu();
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

void MainWindow::closeEvent(QCloseEvent *event)
{
    QSettings().setValue(geometryKey, saveGeometry());
    QMainWindow::closeEvent(event);
}

void MainWindow::runLaunchTask()
{
    // The reload never throws; a failure shows in the banner and the library stays empty.
    ViewCommand::start(*this, reloadThenPrepare(this, m_state),
        [library = &m_state.libraryViewModel()](const QString &message) { library->setBannerMessage(message); });
}

void MainWindow::openConsole(const QUuid &id)
{
    m_state.openConsole(id);
}

void MainWindow::openCreateWizard(std::shared_ptr<CreateVMWizardViewModel> wizard)
{
    auto *sheet = new CreateVMWizardView(wizard, WizardDesktop::system(), this);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    connect(sheet, &QDialog::finished, this, [this, wizard] {
        if (wizard->createdBundleID())
            m_state.libraryViewModel().select(wizard->createdBundleID());
    });
    sheet->open();
}

MainWindow *MainWindow::openNewWindow()
{
    auto *window = new MainWindow(m_state);
    window->setAttribute(Qt::WA_DeleteOnClose);
    // Before it is shown the new window's frame is unknown: this one's stands in for it.
    const QRect outer = frameGeometry();
    const QRect inner = geometry();
    // A window manager that has not told its frame yet still adds a title bar.
    const QMargins frame(inner.left() - outer.left(), std::max(inner.top() - outer.top(), 32), outer.right() - inner.right(),
        outer.bottom() - inner.bottom());
    const int offset = frame.top();
    const QRect wanted(geometry().topLeft() + QPoint(offset, offset), window->size());
    const QRect placed = placedWithin(wanted, screen()->availableGeometry(), frame);
    // move() places the frame, as the window manager does with the position it is given.
    window->resize(placed.size());
    window->move(placed.topLeft() - QPoint(frame.left(), frame.top()));
    window->show();
    // Once the window manager has framed it, its real frame is known: a frame that still reaches past the free area moves in.
    QTimer::singleShot(250, window, [window] {
        const QRect available = window->screen()->availableGeometry();
        const QRect outer = window->frameGeometry();
        const QPoint topLeft(std::max(available.left(), std::min(outer.left(), available.right() + 1 - outer.width())),
            std::max(available.top(), std::min(outer.top(), available.bottom() + 1 - outer.height())));
        if (topLeft != outer.topLeft())
            window->move(topLeft);
    });
    return window;
}

QRect MainWindow::placedWithin(const QRect &wanted, const QRect &available, const QMargins &frame)
{
    const QRect inside = available.marginsRemoved(frame);
    QRect placed(wanted.topLeft(), wanted.size().boundedTo(inside.size()));
    placed.moveLeft(std::clamp(placed.left(), inside.left(), inside.right() + 1 - placed.width()));
    placed.moveTop(std::clamp(placed.top(), inside.top(), inside.bottom() + 1 - placed.height()));
    return placed;
}

void MainWindow::fillDetailsPane(VMDetailsView &details)
{
    QPointer<VMDetailsView> pane(&details);
    connect(&details, &VMDetailsView::settingsRequested, &details, [this, pane] {
        auto *sheet = new VMSettingsSheet(pane->viewModel(), m_state.fileChooser(), pane);
        sheet->setAttribute(Qt::WA_DeleteOnClose);
        sheet->open();
    });
    connect(&details, &VMDetailsView::exportRequested, &details, [pane] {
        auto *sheet = new VMExportSheet(pane->viewModel().displayTitle(), pane);
        sheet->setAttribute(Qt::WA_DeleteOnClose);
        connect(sheet, &VMExportSheet::exportRequested, pane, &VMDetailsView::exportVM);
        sheet->open();
    });
    connect(&details, &VMDetailsView::saveAsTemplateRequested, &details, [pane] {
        auto *sheet = new SaveAsTemplateSheet(pane->viewModel().displayTitle(), pane);
        sheet->setAttribute(Qt::WA_DeleteOnClose);
        connect(sheet, &SaveAsTemplateSheet::saveRequested, pane, &VMDetailsView::saveAsTemplate);
        sheet->open();
    });
}
