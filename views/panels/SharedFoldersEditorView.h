// SPDX-License-Identifier: MIT
#pragma once

#include "VMSharedFolder.h"

#include <QList>
#include <QUuid>
#include <QWidget>

class QCheckBox;
class QLabel;
class QListWidget;

/**
 * Lists the host folders a VM shares into its guest, with each folder's
 * access, and forwards what the user asks: add a folder, remove folders,
 * switch a folder's read-only flag. It keeps no list of its own; the owner
 * changes its list and calls setFolders() again. Requests name folders by
 * identity, so a list that changed since the rows were built still removes
 * or switches the folder the user meant.
 */
class SharedFoldersEditorView final : public QWidget
{
    Q_OBJECT

public:
    explicit SharedFoldersEditorView(QWidget *parent = nullptr);

    void setFolders(const QList<VMSharedFolder> &folders);

    static QString accessTitle(bool readOnly);
    static QString accessDescription(bool readOnly);

Q_SIGNALS:
    void addFolderRequested();
    void removeRequested(const QList<QUuid> &folderIDs);
    void readOnlyChangeRequested(const QUuid &folderID, bool readOnly);

private:
    /// The controls of one folder's row that show the folder.
    struct RowWidgets {
        QLabel *name;
        QLabel *path;
        QLabel *accessTitle;
        QLabel *accessDescription;
        QCheckBox *readOnly;
    };

    QWidget *makeRow(const VMSharedFolder &folder);
    static void updateRow(const RowWidgets &row, const VMSharedFolder &folder);
    void removeSelectedRows();

    QList<VMSharedFolder> m_folders;
    /// One per row of the list, in its order.
    QList<RowWidgets> m_rows;
    QLabel *m_emptyText = nullptr;
    QListWidget *m_list = nullptr;
};
