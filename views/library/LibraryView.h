// SPDX-License-Identifier: MIT
#pragma once

#include "SidebarVMListView.h"
#include "ViewCommand.h"

#include <QUuid>
#include <QWidget>

#include <functional>
#include <optional>

class EmptyStateView;
class ErrorBannerView;
class LibraryViewModel;
class NoSelectionView;
class QAction;
class QSplitter;
class QStackedWidget;

/**
 * The library window's content: the sidebar beside the selected VM's details
 * (or, with none shown, the empty state of an empty library or the "No VM
 * Selected" hint of a library that holds VMs), the banner over the top edge while the library view
 * model holds a message, and the five library commands for the window's
 * toolbar. The details are rebuilt only when the selected VM changes, never
 * on a republished list, so what they show survives a change to another VM.
 *
 * A command whose target the application does not provide is disabled.
 */
class LibraryView : public QWidget
{
    Q_OBJECT

public:
    struct Actions {
        /// Builds the detail column for a VM; required.
        std::function<QWidget *(const QUuid &id)> makeDetailsView;
        SidebarVMListView::ConsoleOpener openConsole;
        /// Opens the new-VM wizard; none disables "Create VM".
        std::function<void()> createVM;
        /// Opens the template library; none disables "From Template".
        std::function<void()> showTemplateLibrary;
    };

    LibraryView(LibraryViewModel &viewModel, Actions actions, QWidget *parent = nullptr);
    ~LibraryView() override;

    /// Refresh, Create VM, From Template, Import VM, Backup VM.
    QList<QAction *> toolbarActions() const;
    QAction *refreshAction() const { return m_refresh; }
    QAction *createAction() const { return m_create; }
    QAction *templateAction() const { return m_fromTemplate; }
    QAction *importAction() const { return m_import; }
    QAction *backupAction() const { return m_backup; }

    SidebarVMListView *sidebar() const { return m_sidebar; }
    ErrorBannerView *banner() const { return m_banner; }
    EmptyStateView *emptyState() const { return m_emptyState; }
    NoSelectionView *noSelection() const { return m_noSelection; }
    /// Where a library command's escaping failure goes: the library's banner.
    ViewCommand::FailureReport bannerReport() const;

    /// The details shown for the selected VM, or none while the empty state shows.
    QWidget *detailsView() const { return m_details; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void updateDetailColumn();
    /// With no details shown: the first-run state for an empty library, else the hint to select a VM.
    void showPlaceholder();
    void updateBanner();
    void updateCommands();
    void placeBanner();

    LibraryViewModel &m_viewModel;
    Actions m_actions;
    QAction *m_refresh;
    QAction *m_create;
    QAction *m_fromTemplate;
    QAction *m_import;
    QAction *m_backup;
    QSplitter *m_splitter;
    SidebarVMListView *m_sidebar;
    QStackedWidget *m_detailColumn;
    EmptyStateView *m_emptyState;
    NoSelectionView *m_noSelection;
    QWidget *m_details = nullptr;
    std::optional<QUuid> m_detailsID;
    ErrorBannerView *m_banner;
};
