// SPDX-License-Identifier: MIT
#include "MenuCommands.h"

#include "GuestUpdatePresentation.h"
#include "LibraryView.h"
#include "LibraryViewModel.h"
#include "VMDetailsActions.h"
#include "VMDetailsView.h"
#include "VMDetailsViewModel.h"
#include "ViewCommand.h"

#include <QAction>
#include <QListView>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace {

QAction *addCommand(QMenu &menu, const QString &objectName, const QString &title, const QKeySequence &shortcut = {})
{
    QAction *action = menu.addAction(title);
    action->setObjectName(objectName);
    action->setShortcut(shortcut);
    return action;
}

} // namespace

MenuCommands::MenuCommands(QMainWindow &window, LibraryView &library, LibraryViewModel &viewModel)
    : QObject(&window)
    , m_library(library)
    , m_viewModel(viewModel)
{
    QMenuBar *bar = window.menuBar();
    bar->setObjectName(QStringLiteral("mainWindow.menuBar"));

    m_file = bar->addMenu(tr("&File"));
    QMenu *file = m_file;
    file->setObjectName(QStringLiteral("menu.file"));
    m_refreshLibrary
        = addCommand(*file, QStringLiteral("command.refreshLibrary"), tr("Refresh Library"), QKeySequence(QStringLiteral("Ctrl+Shift+R")));
    file->addSeparator();
    m_newFromTemplate = addCommand(
        *file, QStringLiteral("command.newFromTemplate"), tr("New VM from Template..."), QKeySequence(QStringLiteral("Ctrl+Shift+T")));
    file->addSeparator();
    // Some platform themes bind no key to the standard Quit.
    const QKeySequence standardQuit(QKeySequence::Quit);
    QAction *quit = addCommand(
        *file, QStringLiteral("command.quit"), tr("Quit"), standardQuit.isEmpty() ? QKeySequence(QStringLiteral("Ctrl+Q")) : standardQuit);

    QMenu *vm = bar->addMenu(tr("VM"));
    vm->setObjectName(QStringLiteral("menu.vm"));
    m_startSelected
        = addCommand(*vm, QStringLiteral("command.startSelected"), tr("Start Selected VM"), QKeySequence(QStringLiteral("Ctrl+R")));
    m_stopSelected
        = addCommand(*vm, QStringLiteral("command.stopSelected"), tr("Stop Selected VM"), QKeySequence(QStringLiteral("Ctrl+.")));
    vm->addSeparator();
    m_deleteSelected = addCommand(
        *vm, QStringLiteral("command.deleteSelected"), tr("Delete Selected VM"), QKeySequence(QStringLiteral("Ctrl+Backspace")));
    m_renameSelected = addCommand(*vm, QStringLiteral("command.renameSelected"), tr("Rename Selected VM"), QKeySequence(Qt::Key_Return));
    vm->addSeparator();
    m_searchVMs = addCommand(*vm, QStringLiteral("command.searchVMs"), tr("Search VMs"), QKeySequence(QStringLiteral("Ctrl+F")));

    // Return and Ctrl+Backspace belong to the VM list: a text field keeps its own Return.
    for (QAction *listCommand : {m_deleteSelected, m_renameSelected}) {
        listCommand->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        m_library.sidebar()->listView()->addAction(listCommand);
    }

    QMenu *tools = bar->addMenu(tr("Tools"));
    tools->setObjectName(QStringLiteral("menu.tools"));
    // Each brings the matching panel of the selected VM's details into view.
    using Slot = VMDetailsView::FeaturePanelSlot;
    const auto panelCommand = [this, tools](const QString &objectName, const QString &title, Slot slot, const QKeySequence &shortcut = {}) {
        QAction *action = addCommand(*tools, objectName, title, shortcut);
        connect(action, &QAction::triggered, this, [this, slot, action] { showPanel(slot, action->text()); });
        return action;
    };
    panelCommand(QStringLiteral("command.performanceMonitor"), tr("Performance Monitor"), Slot::performanceDashboard,
        QKeySequence(QStringLiteral("Ctrl+Alt+P")));
    panelCommand(
        QStringLiteral("command.diskAnalytics"), tr("Disk Analytics"), Slot::diskAnalytics, QKeySequence(QStringLiteral("Ctrl+Alt+D")));
    tools->addSeparator();
    m_checkUpdates = panelCommand(QStringLiteral("command.checkMacOSUpdates"), updateCheckTitle(), Slot::macOSUpdate);
    tools->addSeparator();
    panelCommand(QStringLiteral("command.ciRunner"), tr("CI Runner"), Slot::ciRunner);
    panelCommand(QStringLiteral("command.networkTopology"), tr("Network Topology"), Slot::networkTopology);

    connect(m_refreshLibrary, &QAction::triggered, m_library.refreshAction(), &QAction::trigger);
    connect(m_newFromTemplate, &QAction::triggered, m_library.templateAction(), &QAction::trigger);
    connect(m_library.templateAction(), &QAction::enabledChanged, m_newFromTemplate, &QAction::setEnabled);
    m_newFromTemplate->setEnabled(m_library.templateAction()->isEnabled());
    connect(quit, &QAction::triggered, this, &MenuCommands::quitRequested);
    connect(m_startSelected, &QAction::triggered, this, [this] {
        updateStartEnabled();
        if (canStartSelected())
            ViewCommand::start(*this, m_viewModel.start(*m_viewModel.selectedBundleID(), false), m_library.bannerReport());
    });
    connect(m_stopSelected, &QAction::triggered, this, [this] {
        updateStartEnabled();
        if (selectedAllows(VMDetailsAction::stop))
            ViewCommand::start(*this, m_viewModel.stop(*m_viewModel.selectedBundleID()), m_library.bannerReport());
    });
    connect(m_deleteSelected, &QAction::triggered, m_library.sidebar(), &SidebarVMListView::requestDeleteSelected);
    connect(m_renameSelected, &QAction::triggered, m_library.sidebar(), &SidebarVMListView::requestRenameSelected);
    connect(m_searchVMs, &QAction::triggered, m_library.sidebar(), &SidebarVMListView::focusSearch);

    // The update check names the selected VM's own system.
    connect(&m_viewModel, &LibraryViewModel::bundlesChanged, this, [this] { m_checkUpdates->setText(updateCheckTitle()); });
    connect(&m_viewModel, &LibraryViewModel::selectedBundleIDChanged, this, [this] { m_checkUpdates->setText(updateCheckTitle()); });

    connect(&m_viewModel, &LibraryViewModel::bundlesChanged, this, &MenuCommands::updateStartEnabled);
    connect(&m_viewModel, &LibraryViewModel::selectedBundleIDChanged, this, &MenuCommands::updateStartEnabled);
    connect(&m_viewModel, &LibraryViewModel::busyChanged, this, &MenuCommands::updateStartEnabled);
    connect(vm, &QMenu::aboutToShow, this, &MenuCommands::updateStartEnabled);
    updateStartEnabled();
}

bool MenuCommands::canStartSelected() const
{
    return selectedAllows(VMDetailsAction::start);
}

bool MenuCommands::selectedAllows(VMDetailsAction action) const
{
    const std::optional<VMBundle> selected = m_viewModel.selectedBundle();
    return selected && VMDetailsActions::isEnabled(m_viewModel.actionInputs(*selected), action);
}

void MenuCommands::showPanel(VMDetailsView::FeaturePanelSlot slot, const QString &title)
{
    auto *details = qobject_cast<VMDetailsView *>(m_library.detailsView());
    if (!details) {
        m_viewModel.setBannerMessage(tr("No VM is selected. Select a VM in the list to see its %1.").arg(title), MessageKind::information);
        return;
    }
    if (!details->showFeaturePanel(slot))
        m_viewModel.setBannerMessage(
            tr("%1 is not available for %2.").arg(title, details->viewModel().displayTitle()), MessageKind::information);
}

QString MenuCommands::updateCheckTitle() const
{
    const std::optional<VMBundle> selected = m_viewModel.selectedBundle();
    return GuestUpdatePresentation::commandTitle(
        selected ? std::optional(selected->metadata.guestOSType.value_or(VMGuestOSType::macOS)) : std::nullopt);
}

void MenuCommands::updateStartEnabled()
{
    m_startSelected->setEnabled(canStartSelected());
    m_stopSelected->setEnabled(selectedAllows(VMDetailsAction::stop));
    const bool selected = m_viewModel.selectedBundle().has_value();
    m_deleteSelected->setEnabled(selected);
    m_renameSelected->setEnabled(selected);
}
