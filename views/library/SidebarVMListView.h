// SPDX-License-Identifier: MIT
#pragma once

#include "VMBundle.h"
#include "ViewCommand.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class BundleListModel;
class LibraryViewModel;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QMessageBox;
class QToolButton;
class RenameDialog;
class VMCardDelegate;

/**
 * The library window's sidebar: the search field with its sort menu above
 * the VM cards, the no-match message, each card's context menu, and the
 * delete confirmation and rename sheet for one VM. The list, search text,
 * order and selection live in the LibraryViewModel; the sidebar only holds
 * the VM awaiting confirmation or a new name.
 *
 * Deleting goes through the view model (and so the coordinator, which
 * refuses a VM that runs); a refusal is shown in the view model's banner.
 */
class SidebarVMListView : public QWidget
{
    Q_OBJECT

public:
    /// Opens or raises the console window of a VM; none when consoles cannot be opened.
    using ConsoleOpener = std::function<void(const QUuid &id)>;

    explicit SidebarVMListView(LibraryViewModel &viewModel, ConsoleOpener openConsole = {}, QWidget *parent = nullptr);
    ~SidebarVMListView() override;

    /// "Delete Selected VM": asks to confirm deleting the selected, shown VM; nothing without one.
    void requestDeleteSelected();
    /// "Rename Selected VM": opens the rename sheet for the selected, shown VM; nothing without one.
    void requestRenameSelected();
    /// Puts the keyboard focus into the search field.
    void focusSearch();

    /// The context menu of one card, built from the bundle as the list shows it; the caller owns it.
    std::unique_ptr<QMenu> contextMenu(const VMBundle &bundle);
    /// Asks to confirm deleting `bundle`, or opens the rename sheet with its name.
    void confirmDeletion(const VMBundle &bundle);
    void beginRename(const VMBundle &bundle);

    QListView *listView() const { return m_list; }
    const std::optional<VMBundle> &bundleToDelete() const { return m_bundleToDelete; }
    const std::optional<VMBundle> &bundleToRename() const { return m_bundleToRename; }
    /// The open delete confirmation or rename sheet, if any.
    QMessageBox *deleteAlert() const;
    RenameDialog *renameSheet() const;

private:
    QWidget *makeSearchBar();
    void setUpList();
    void setUpNoMatches();
    void connectViewModel();
    void buildSortMenu();
    void showContextMenu(const QPoint &position);
    void selectFromViewModel();
    void selectFromList();
    void updateNoMatches();
    void finishDeletion(bool confirmed);
    void commitRename(const QString &text);
    void closeRename();
    /// Where a command's escaping failure goes: the library's banner.
    ViewCommand::FailureReport bannerReport() const;

    LibraryViewModel &m_viewModel;
    ConsoleOpener m_openConsole;
    QLineEdit *m_search;
    QToolButton *m_sort;
    QListView *m_list;
    BundleListModel *m_model;
    VMCardDelegate *m_delegate;
    QWidget *m_noMatches;
    QLabel *m_noMatchesText;
    QPointer<QMessageBox> m_deleteAlert;
    QPointer<RenameDialog> m_renameSheet;
    std::optional<VMBundle> m_bundleToDelete;
    std::optional<VMBundle> m_bundleToRename;
    bool m_syncingSelection = false;
};
