// SPDX-License-Identifier: MIT
#include "SharedFoldersEditorView.h"

#include "Symbols.h"
#include "TextStyle.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

namespace {
constexpr int folderIDRole = Qt::UserRole;
}

SharedFoldersEditorView::SharedFoldersEditorView(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);

    auto *header = new QHBoxLayout;
    header->addWidget(
        TextStyle::label(
            QStringLiteral("Shared folders are exposed to the guest through QEMU's virtio file system "
                           "sharing (virtiofs). New folders default to Read & Write. Turn on Read Only only when you want the guest to "
                           "be blocked from changing files."),
            TextRole::callout, true),
        1);
    auto *add = new QPushButton(QStringLiteral("Add Folder"));
    add->setObjectName(QStringLiteral("sharedFolders.add"));
    add->setAutoDefault(false);
    connect(add, &QPushButton::clicked, this, &SharedFoldersEditorView::addFolderRequested);
    header->addWidget(add, 0, Qt::AlignVCenter);
    layout->addLayout(header);

    m_emptyText = TextStyle::label(QStringLiteral("No shared folders selected."), TextRole::body, true);
    m_emptyText->setObjectName(QStringLiteral("sharedFolders.empty"));
    m_emptyText->setContentsMargins(0, 24, 0, 24);
    layout->addWidget(m_emptyText);

    m_list = new QListWidget;
    m_list->setObjectName(QStringLiteral("sharedFolders.list"));
    m_list->setMinimumHeight(220);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    layout->addWidget(m_list, 1);
    for (const QKeySequence &keys : {QKeySequence(QKeySequence::Delete), QKeySequence(Qt::Key_Backspace)}) {
        auto *shortcut = new QShortcut(keys, m_list, nullptr, nullptr, Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this, &SharedFoldersEditorView::removeSelectedRows);
    }
    m_list->hide();
}

void SharedFoldersEditorView::setFolders(const QList<VMSharedFolder> &folders)
{
    const bool sameRows = std::equal(folders.begin(), folders.end(), m_folders.begin(), m_folders.end(),
        [](const VMSharedFolder &left, const VMSharedFolder &right) { return left.id == right.id; });
    m_folders = folders;
    if (sameRows) {
        // Only flags or names changed: update the rows in place, so the control in use keeps its focus.
        for (qsizetype row = 0; row < m_rows.size(); ++row)
            updateRow(m_rows[row], folders[row]);
        return;
    }
    m_list->clear();
    m_rows.clear();
    for (const VMSharedFolder &folder : folders) {
        auto *item = new QListWidgetItem(m_list);
        item->setData(folderIDRole, folder.id);
        QWidget *row = makeRow(folder);
        item->setSizeHint(row->sizeHint());
        m_list->setItemWidget(item, row);
    }
    m_emptyText->setVisible(folders.isEmpty());
    m_list->setVisible(!folders.isEmpty());
}

QString SharedFoldersEditorView::accessTitle(bool readOnly)
{
    return readOnly ? QStringLiteral("Guest Access: Read Only") : QStringLiteral("Guest Access: Read & Write");
}

QString SharedFoldersEditorView::accessDescription(bool readOnly)
{
    return readOnly ? QStringLiteral("The guest can view files but cannot create, edit, or delete them.")
                    : QStringLiteral("The guest can view, create, edit, and delete files in this folder.");
}

QWidget *SharedFoldersEditorView::makeRow(const VMSharedFolder &folder)
{
    auto *row = new QWidget;
    row->setObjectName(QStringLiteral("sharedFolders.row"));
    row->setProperty("folderID", folder.id);
    auto *layout = new QVBoxLayout(row);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(8);

    auto *top = new QHBoxLayout;
    top->setSpacing(12);
    auto *names = new QVBoxLayout;
    names->setSpacing(8);
    QLabel *name = TextStyle::label(QString(), TextRole::headline);
    name->setObjectName(QStringLiteral("sharedFolders.name"));
    names->addWidget(name);
    QLabel *path = TextStyle::label(QString(), TextRole::caption, true);
    path->setObjectName(QStringLiteral("sharedFolders.path"));
    path->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    names->addWidget(path);
    top->addLayout(names, 1);
    auto *remove = new QPushButton(Symbols::icon(QStringLiteral("trash")), QStringLiteral("Remove"));
    remove->setObjectName(QStringLiteral("sharedFolders.remove"));
    remove->setFlat(true);
    remove->setAutoDefault(false);
    const QUuid id = folder.id;
    connect(remove, &QPushButton::clicked, this, [this, id] { Q_EMIT removeRequested({id}); });
    top->addWidget(remove, 0, Qt::AlignTop);
    layout->addLayout(top);

    auto *bottom = new QHBoxLayout;
    bottom->setSpacing(12);
    auto *access = new QVBoxLayout;
    access->setSpacing(2);
    QLabel *title = TextStyle::label(QString(), TextRole::subheadline);
    title->setObjectName(QStringLiteral("sharedFolders.accessTitle"));
    QFont titleFont = title->font();
    titleFont.setWeight(QFont::Medium);
    title->setFont(titleFont);
    access->addWidget(title);
    QLabel *description = TextStyle::label(QString(), TextRole::caption, true);
    description->setObjectName(QStringLiteral("sharedFolders.accessDescription"));
    access->addWidget(description);
    bottom->addLayout(access, 1);
    auto *readOnly = new QCheckBox(QStringLiteral("Read Only"));
    readOnly->setObjectName(QStringLiteral("sharedFolders.readOnly"));
    connect(readOnly, &QCheckBox::toggled, this, [this, id](bool checked) { Q_EMIT readOnlyChangeRequested(id, checked); });
    bottom->addWidget(readOnly, 0, Qt::AlignVCenter);
    layout->addLayout(bottom);
    m_rows.append({name, path, title, description, readOnly});
    updateRow(m_rows.constLast(), folder);
    return row;
}

void SharedFoldersEditorView::updateRow(const RowWidgets &row, const VMSharedFolder &folder)
{
    row.name->setText(folder.displayName);
    row.path->setText(folder.localURL.toLocalFile());
    row.accessTitle->setText(accessTitle(folder.isReadOnly));
    row.accessDescription->setText(accessDescription(folder.isReadOnly));
    const QSignalBlocker quiet(row.readOnly);
    row.readOnly->setChecked(folder.isReadOnly);
}

void SharedFoldersEditorView::removeSelectedRows()
{
    QList<QUuid> ids;
    for (const QListWidgetItem *item : m_list->selectedItems())
        ids << item->data(folderIDRole).toUuid();
    if (!ids.isEmpty())
        Q_EMIT removeRequested(ids);
}
