// SPDX-License-Identifier: MIT
#include "DisplayFormatters.h"
#include "DropZoneArea.h"
#include "EventLoopWait.h"
#include "FileDropTransferView.h"
#include "FileDropTransferViewModel.h"
#include "TestFiles.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

class FileDropTransferViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TestFiles::write(m_root.path() + QStringLiteral("/User/notes.txt"), "hello");
        QDir().mkpath(share());
        m_view.viewModel().setVMName(QStringLiteral("Builder <b>Lab</b>"));
        m_view.resize(600, 400);
        m_view.show();
    }

    QString share() const { return m_root.path() + QStringLiteral("/Share"); }
    QString userFile() const { return m_root.path() + QStringLiteral("/User/notes.txt"); }
    DropZoneArea *zone() const { return m_view.findChild<DropZoneArea *>(QStringLiteral("drop.zone")); }
    QLabel *label(const QString &name) const { return m_view.findChild<QLabel *>(name); }

    static QMimeData *files(const QList<QUrl> &urls)
    {
        auto *data = new QMimeData;
        data->setUrls(urls);
        return data;
    }

    /// Sends a drag that proposes a move, as a file manager does within one disk; answers whether it was taken, and as what.
    std::pair<bool, Qt::DropAction> drag(const QList<QUrl> &urls, QEvent::Type type)
    {
        const std::unique_ptr<QMimeData> data(files(urls));
        const QPoint middle = zone()->rect().center();
        if (type == QEvent::DragEnter) {
            QDragEnterEvent event(middle, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
            event.setDropAction(Qt::MoveAction);
            QApplication::sendEvent(zone(), &event);
            return {event.isAccepted(), event.dropAction()};
        }
        QDropEvent event(middle, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        event.setDropAction(Qt::MoveAction);
        QApplication::sendEvent(zone(), &event);
        return {event.isAccepted(), event.dropAction()};
    }

    QTemporaryDir m_root;
    FileDropTransferView m_view{std::make_unique<FileDropTransferViewModel>()};
};

TEST_F(FileDropTransferViewTest, WithoutASharedFolderTheZoneSaysSoAndRefusesDrops)
{
    EXPECT_EQ(label(QStringLiteral("drop.zone.prompt"))->text(), QStringLiteral("Drag files here to send to Builder <b>Lab</b>"));
    EXPECT_EQ(label(QStringLiteral("drop.zone.prompt"))->textFormat(), Qt::PlainText);
    EXPECT_TRUE(label(QStringLiteral("drop.zone.hint"))->isVisible());
    EXPECT_FALSE(drag({QUrl::fromLocalFile(userFile())}, QEvent::DragEnter).first);
    EXPECT_FALSE(drag({QUrl::fromLocalFile(userFile())}, QEvent::Drop).first);
    EXPECT_FALSE(m_view.findChild<QWidget *>(QStringLiteral("drop.recent"))->isVisible());
    EXPECT_FALSE(QFileInfo::exists(share() + QStringLiteral("/notes.txt")));
}

TEST_F(FileDropTransferViewTest, AProposedMoveIsTakenAsACopyAndTheTransferIsListed)
{
    m_view.viewModel().setSharedFolder(share());
    EXPECT_FALSE(label(QStringLiteral("drop.zone.hint"))->isVisible());
    EXPECT_FALSE(drag({QUrl(QStringLiteral("https://example.org/file.txt"))}, QEvent::DragEnter).first) << "only local files";

    EXPECT_EQ(drag({QUrl::fromLocalFile(userFile())}, QEvent::DragEnter), std::make_pair(true, Qt::CopyAction));
    EXPECT_TRUE(zone()->isTargeted());
    EXPECT_EQ(label(QStringLiteral("drop.zone.prompt"))->text(), QStringLiteral("Drop to transfer"));
    EXPECT_EQ(drag({QUrl::fromLocalFile(userFile())}, QEvent::Drop), std::make_pair(true, Qt::CopyAction));
    EXPECT_FALSE(zone()->isTargeted());

    ASSERT_TRUE(EventLoopWait::waitUntil([&] { return label(QStringLiteral("drop.row.name")) != nullptr; }));
    EXPECT_EQ(label(QStringLiteral("drop.row.name"))->text(), QStringLiteral("notes.txt"));
    EXPECT_EQ(label(QStringLiteral("drop.row.size"))->text(), DisplayFormatters::byteCountText(quint64(5)));
    EXPECT_EQ(label(QStringLiteral("drop.row.status"))->property("symbol").toString(), QStringLiteral("checkmark.circle.fill"));
    EXPECT_EQ(label(QStringLiteral("drop.count"))->text(), QStringLiteral("1 file transferred"));
    EXPECT_EQ(TestFiles::read(share() + QStringLiteral("/notes.txt")), "hello");
    EXPECT_EQ(TestFiles::read(userFile()), "hello") << "the original stays where it was";
}

} // namespace
