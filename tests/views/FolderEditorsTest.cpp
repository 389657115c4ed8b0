// SPDX-License-Identifier: MIT
#include "FirstBootEditorView.h"
#include "SharedFoldersEditorView.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

VMSharedFolder folder(const QString &name, bool readOnly = false)
{
    VMSharedFolder result;
    result.id = QUuid::createUuid();
    result.displayName = name;
    result.localURL = QUrl::fromLocalFile(QStringLiteral("/srv/shares/") + name);
    result.isReadOnly = readOnly;
    return result;
}

QList<QWidget *> rows(const SharedFoldersEditorView &editor)
{
    const auto *list = editor.findChild<QListWidget *>(QStringLiteral("sharedFolders.list"));
    QList<QWidget *> result;
    for (int row = 0; row < list->count(); ++row)
        result << list->itemWidget(list->item(row));
    return result;
}

/// Gives the list the keyboard in an active window, as a user's click would.
void focus(QWidget &window, QWidget &list)
{
    window.show();
    QApplication::setActiveWindow(&window);
    list.setFocus();
}

QString rowText(const QWidget *row, const char *name)
{
    return row->findChild<QLabel *>(QLatin1String(name))->text();
}

TEST(SharedFoldersEditorTest, ShowsTheEmptyTextOrOneRowPerFolderWithItsAccess)
{
    SharedFoldersEditorView editor;
    editor.show();
    const auto *empty = editor.findChild<QLabel *>(QStringLiteral("sharedFolders.empty"));
    const auto *list = editor.findChild<QListWidget *>(QStringLiteral("sharedFolders.list"));
    EXPECT_TRUE(empty->isVisible());
    EXPECT_FALSE(list->isVisible());
    EXPECT_TRUE(editor.findChild<QPushButton *>(QStringLiteral("sharedFolders.add"))->isEnabled());

    editor.setFolders({folder(QStringLiteral("Source")), folder(QStringLiteral("Music <b>"), true)});
    EXPECT_FALSE(empty->isVisible());
    ASSERT_EQ(rows(editor).size(), 2);
    EXPECT_EQ(rowText(rows(editor)[0], "sharedFolders.accessTitle"), QStringLiteral("Guest Access: Read & Write"));
    EXPECT_EQ(rowText(rows(editor)[1], "sharedFolders.accessTitle"), QStringLiteral("Guest Access: Read Only"));
    EXPECT_EQ(rowText(rows(editor)[1], "sharedFolders.path"), QStringLiteral("/srv/shares/Music <b>"));
    EXPECT_EQ(rows(editor)[1]->findChild<QLabel *>(QStringLiteral("sharedFolders.name"))->textFormat(), Qt::PlainText);
    EXPECT_TRUE(rows(editor)[1]->findChild<QCheckBox *>(QStringLiteral("sharedFolders.readOnly"))->isChecked());

    editor.setFolders({});
    EXPECT_TRUE(empty->isVisible());
    EXPECT_FALSE(list->isVisible());
}

TEST(SharedFoldersEditorTest, RequestsNameTheFolderAndAFlagChangeKeepsTheRow)
{
    SharedFoldersEditorView editor;
    QList<VMSharedFolder> folders{folder(QStringLiteral("a")), folder(QStringLiteral("b")), folder(QStringLiteral("c"))};
    editor.setFolders(folders);
    QSignalSpy readOnly(&editor, &SharedFoldersEditorView::readOnlyChangeRequested);
    QSignalSpy remove(&editor, &SharedFoldersEditorView::removeRequested);
    // The owner answers as the wizard and the settings sheet do: it changes its list and shows it again.
    QObject::connect(&editor, &SharedFoldersEditorView::readOnlyChangeRequested, &editor, [&](const QUuid &id, bool flag) {
        for (VMSharedFolder &entry : folders)
            entry.isReadOnly = entry.id == id ? flag : entry.isReadOnly;
        editor.setFolders(folders);
    });

    QWidget *second = rows(editor)[1];
    second->findChild<QCheckBox *>(QStringLiteral("sharedFolders.readOnly"))->click();
    ASSERT_EQ(readOnly.size(), 1);
    EXPECT_EQ(readOnly[0][0].toUuid(), folders[1].id);
    EXPECT_TRUE(readOnly[0][1].toBool());
    EXPECT_EQ(rows(editor)[1], second);
    EXPECT_EQ(rowText(second, "sharedFolders.accessTitle"), QStringLiteral("Guest Access: Read Only"));
    EXPECT_EQ(rowText(rows(editor)[0], "sharedFolders.accessTitle"), QStringLiteral("Guest Access: Read & Write"));

    rows(editor)[2]->findChild<QPushButton *>(QStringLiteral("sharedFolders.remove"))->click();
    ASSERT_EQ(remove.size(), 1);
    EXPECT_EQ(remove[0][0].value<QList<QUuid>>(), QList<QUuid>{folders[2].id});

    auto *list = editor.findChild<QListWidget *>(QStringLiteral("sharedFolders.list"));
    list->item(0)->setSelected(true);
    list->item(2)->setSelected(true);
    focus(editor, *list);
    QTest::keyClick(list, Qt::Key_Delete);
    ASSERT_EQ(remove.size(), 2);
    EXPECT_EQ(remove[1][0].value<QList<QUuid>>(), (QList<QUuid>{folders[0].id, folders[2].id}));
}

TEST(FirstBootEditorTest, TheSwitchHidesTheChoicesWithoutLosingThem)
{
    FirstBootEditorView editor;
    editor.show();
    QSignalSpy notes(&editor, &FirstBootEditorView::notesEdited);
    const auto *details = editor.findChild<QWidget *>(QStringLiteral("firstBoot.details"));
    const auto *script = editor.findChild<QLabel *>(QStringLiteral("firstBoot.script"));
    EXPECT_FALSE(details->isVisible());

    FirstBootEditorView::Values values{true, std::nullopt, {}, QStringLiteral("first line")};
    editor.setValues(values);
    EXPECT_TRUE(details->isVisible());
    EXPECT_EQ(script->text(), QStringLiteral("If none is chosen, the bundled sample script is used."));
    EXPECT_TRUE(editor.findChild<QLabel *>(QStringLiteral("firstBoot.noFiles"))->isVisible());
    EXPECT_FALSE(editor.findChild<QListWidget *>(QStringLiteral("firstBoot.files"))->isVisible());

    values.scriptPath = QStringLiteral("/home/me/scripts/setup.sh");
    values.isEnabled = false;
    editor.setValues(values);
    values.isEnabled = true;
    editor.setValues(values);
    EXPECT_EQ(script->text(), QStringLiteral("setup.sh"));
    EXPECT_EQ(editor.findChild<QPlainTextEdit *>(QStringLiteral("firstBoot.notes"))->toPlainText(), QStringLiteral("first line"));
    EXPECT_TRUE(notes.isEmpty());
}

TEST(FirstBootEditorTest, DeletingSelectedRowsRequestsTheirPathsInOrder)
{
    FirstBootEditorView editor;
    editor.setValues({true, std::nullopt, {QStringLiteral("/a/one"), QStringLiteral("/a/two"), QStringLiteral("/a/three")}, {}});
    QSignalSpy remove(&editor, &FirstBootEditorView::removeFilesRequested);
    auto *files = editor.findChild<QListWidget *>(QStringLiteral("firstBoot.files"));
    ASSERT_EQ(files->count(), 3);
    files->item(2)->setSelected(true);
    files->item(0)->setSelected(true);
    focus(editor, *files);
    QTest::keyClick(files, Qt::Key_Delete);
    ASSERT_EQ(remove.size(), 1);
    EXPECT_EQ(remove[0][0].toStringList(), (QStringList{QStringLiteral("/a/one"), QStringLiteral("/a/three")}));
}

} // namespace
