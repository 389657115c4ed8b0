// SPDX-License-Identifier: MIT
#pragma once

#include "DialogFileChooser.h"

#include <QMainWindow>
#include <QMargins>
#include <QRect>
#include <QUuid>

#include <memory>

class VMDetailsView;
class AppState;
class CreateVMWizardViewModel;
class LibraryView;
class MenuCommands;

/**
 * A main window, titled "Zovozu VM Lab": the library view with its toolbar
 * and the menu commands. The first time it is shown it reloads the library
 * and then prepares every VM's guest folders; closing it does not undo that.
 * Further windows share the application state. A window opens at the size
 * and place of the one closed last.
 */
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(AppState &state, QWidget *parent = nullptr);
    ~MainWindow() override;

    LibraryView &libraryView() const { return *m_library; }
    MenuCommands &commands() const { return *m_commands; }
    /// Opens or raises the VM's console window: the live console of its session, or of its QEMU for a Windows guest.
    void openConsole(const QUuid &id);
    /// Opens the new-VM wizard over this window for `wizard` (a template may have filled it); the library then selects the VM it created.
    void openCreateWizard(std::shared_ptr<CreateVMWizardViewModel> wizard);
    /// Opens another window on the same library, a little below and right of this one, whole within the screen's free area.
    MainWindow *openNewWindow();

    /**
     * Where a window whose contents would take `wanted` goes within `available`, the screen's free area, when
     * its frame adds `frame` around them: as large as wanted but no larger than the area, moved in where it would
     * reach past an edge.
     */
    static QRect placedWithin(const QRect &wanted, const QRect &available, const QMargins &frame);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    /// Opens a details pane's settings, export and template sheets when it asks for them.
    void fillDetailsPane(VMDetailsView &details);
    void runLaunchTask();

    AppState &m_state;
    /// The details panes' file dialogs: over this window when the sheet that asked has closed already.
    DialogFileChooser m_chooser;
    LibraryView *m_library;
    MenuCommands *m_commands;
    bool m_launched = false;
};
