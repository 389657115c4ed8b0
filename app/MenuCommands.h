// SPDX-License-Identifier: MIT
#pragma once

#include "VMDetailsActions.h"
#include "VMDetailsView.h"

#include <QObject>

class LibraryView;
class LibraryViewModel;
class QAction;
class QMainWindow;
class QMenu;

/**
 * The menu commands of one main window: "Refresh Library" and "New VM from
 * Template..." in the File menu, then the "VM" and "Tools" menus, with their
 * shortcuts (Ctrl in place of Command). Each acts on its own window's
 * library view, so a second window never answers for the first.
 *
 * Return ("Rename Selected VM") and Ctrl+Backspace ("Delete Selected VM")
 * act only while the VM list has the focus; the menu items work from
 * anywhere. A command whose target is not built is disabled.
 *
 * "Start Selected VM" and "Stop Selected VM" follow the rule of the details
 * pane's buttons (VMDetailsActions); "Delete Selected VM" needs a selected,
 * shown VM; "Refresh Library" and "New VM from Template..." run
 * the library view's own toolbar commands.
 *
 * The Tools commands are always enabled: each scrolls the selected VM's
 * details to its panel, or says in the library's banner that no VM is
 * selected (or that the VM has no such panel).
 */
class MenuCommands final : public QObject
{
    Q_OBJECT

public:
    MenuCommands(QMainWindow &window, LibraryView &library, LibraryViewModel &viewModel);

    QMenu *fileMenu() const { return m_file; }
    QAction *refreshLibrary() const { return m_refreshLibrary; }
    QAction *newFromTemplate() const { return m_newFromTemplate; }
    QAction *startSelected() const { return m_startSelected; }
    QAction *stopSelected() const { return m_stopSelected; }
    QAction *deleteSelected() const { return m_deleteSelected; }
    QAction *renameSelected() const { return m_renameSelected; }
    QAction *searchVMs() const { return m_searchVMs; }

    /// Whether "Start Selected VM" may run now: a VM is selected and shown, and its details would let it start.
    bool canStartSelected() const;

Q_SIGNALS:
    /// "Quit": the window's owner asks about running VMs before any window closes.
    void quitRequested();

private:
    /// Whether the selected, shown VM's details would let `action` run now.
    bool selectedAllows(VMDetailsAction action) const;
    /// Enables Start, Stop and Delete by the selection and the selected VM's state.
    void updateStartEnabled();
    /// The update check's menu title for the selected VM's guest system.
    QString updateCheckTitle() const;
    /// A Tools command: brings the panel in `slot` of the selected VM's details into view.
    void showPanel(VMDetailsView::FeaturePanelSlot slot, const QString &title);

    LibraryView &m_library;
    LibraryViewModel &m_viewModel;
    QMenu *m_file;
    QAction *m_refreshLibrary;
    QAction *m_newFromTemplate;
    QAction *m_startSelected;
    QAction *m_stopSelected;
    QAction *m_deleteSelected;
    QAction *m_renameSelected;
    QAction *m_searchVMs;
    QAction *m_checkUpdates;
};
