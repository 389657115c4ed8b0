// SPDX-License-Identifier: MIT
#include "FileDropTransferViewModel.h"

#include "TaskOutcome.h"
#include "PlatformError.h"
#include "TestFiles.h"
#include "WriteSteps.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>

namespace {

using TestFiles::read;
using TestFiles::write;

/// A host folder with the VM's share inside, and the user's files beside it.
class FileDropTransferViewModelTest : public ::testing::Test
{
public:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(share()));
        m_model.setSharedFolder(share());
        m_model.setVMName(QStringLiteral("Builder"));
    }
    void TearDown() override { WriteSteps::setHook({}); }

    QString root() const { return m_root.path(); }
    QString share() const { return root() + QStringLiteral("/Share"); }
    QString user(const QString &name) const { return root() + QStringLiteral("/User/") + name; }
    QString user(const char *name) const { return user(QString::fromUtf8(name)); }
    QString shared(const QString &name) const { return share() + QLatin1Char('/') + name; }
    QString shared(const char *name) const { return shared(QString::fromUtf8(name)); }

    bool drop(const QStringList &paths) { return waitForOutcome(m_model.drop(paths)).get(); }

    /// Names in the share, hidden ones included.
    QStringList shareEntries() const { return QDir(share()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot); }

    QTemporaryDir m_root;
    FileDropTransferViewModel m_model;
};

struct DropCase {
    const char *what;
    /// Makes the files and answers the item to drop.
    std::function<QString(FileDropTransferViewModelTest &)> arrange;
    bool succeeds;
    quint64 sizeBytes;
    /// What the share holds afterwards.
    std::function<void(FileDropTransferViewModelTest &)> check;
};

class FileDropCopyTest : public FileDropTransferViewModelTest, public ::testing::WithParamInterface<DropCase>
{
};

/// Fails every file copy whose destination ends with `name`, as a full disk would.
void failCopiesOf(const QString &name)
{
    WriteSteps::setHook([name](WriteSteps::Step step, const QString &path) {
        if (step == WriteSteps::Step::copy && path.endsWith(name))
            throw PlatformError::posix(ENOSPC, path);
    });
}

const DropCase dropCases[] = {
    {"a new file is copied",
     [](auto &t) { write(t.user("notes.txt"), "hello"); return t.user("notes.txt"); }, true, 5,
     [](auto &t) {
         EXPECT_EQ(read(t.shared("notes.txt")), "hello");
         EXPECT_EQ(read(t.user("notes.txt")), "hello") << "the original stays";
     }},
    {"a file of the same name is replaced",
     [](auto &t) { write(t.shared("notes.txt"), "old"); write(t.user("notes.txt"), "newer"); return t.user("notes.txt"); }, true, 5,
     [](auto &t) { EXPECT_EQ(read(t.shared("notes.txt")), "newer"); }},
    {"a folder is copied whole, its size the bytes of its files, its links kept as links",
     [](auto &t) {
         write(t.user("Project/a.txt"), "12345");
         write(t.user("Project/src/.hidden"), "123");
         TestFiles::makeLink(QStringLiteral("/etc/hostname"), t.user("Project/link"));
         return t.user("Project");
     },
     true, 8,
     [](auto &t) {
         EXPECT_EQ(read(t.shared("Project/a.txt")), "12345");
         EXPECT_EQ(read(t.shared("Project/src/.hidden")), "123");
         EXPECT_EQ(QFileInfo(t.shared("Project/link")).symLinkTarget(), QStringLiteral("/etc/hostname"));
         EXPECT_EQ(t.shareEntries(), QStringList{QStringLiteral("Project")}) << "no hidden part is left";
     }},
    {"a folder of the same name is replaced only by the complete copy",
     [](auto &t) { write(t.shared("Project/old.txt"), "old"); write(t.user("Project/new.txt"), "new"); return t.user("Project"); }, true, 3,
     [](auto &t) {
         EXPECT_EQ(QDir(t.shared("Project")).entryList(QDir::Files), QStringList{QStringLiteral("new.txt")});
         EXPECT_EQ(t.shareEntries(), QStringList{QStringLiteral("Project")});
     }},
    {"a failed folder copy keeps the folder it would have replaced",
     [](auto &t) {
         write(t.shared("Project/old.txt"), "old");
         write(t.user("Project/a.txt"), "a");
         write(t.user("Project/b.txt"), "b");
         failCopiesOf(QStringLiteral("/b.txt"));
         return t.user("Project");
     },
     false, 0,
     [](auto &t) {
         EXPECT_EQ(read(t.shared("Project/old.txt")), "old");
         EXPECT_EQ(t.shareEntries(), QStringList{QStringLiteral("Project")}) << "the partial copy is removed";
     }},
    {"a failed file copy keeps the file it would have replaced",
     [](auto &t) { write(t.shared("notes.txt"), "old"); write(t.user("notes.txt"), "new"); failCopiesOf(QStringLiteral("notes.txt")); return t.user("notes.txt"); },
     false, 0, [](auto &t) { EXPECT_EQ(read(t.shared("notes.txt")), "old"); }},
    {"an item dropped from the share onto it is left alone",
     [](auto &t) { write(t.shared("notes.txt"), "only copy"); return t.shared("notes.txt"); }, true, 9,
     [](auto &t) { EXPECT_EQ(read(t.shared("notes.txt")), "only copy"); }},
    {"a folder dropped from the share onto it is left alone",
     [](auto &t) { write(t.shared("Project/a.txt"), "only copy"); return t.shared("Project"); }, true, 9,
     [](auto &t) { EXPECT_EQ(read(t.shared("Project/a.txt")), "only copy"); }},
    {"the folder that holds the share is refused",
     [](auto &t) { write(t.shared("kept.txt"), "kept"); return t.root(); }, false, 0,
     [](auto &t) { EXPECT_EQ(t.shareEntries(), QStringList{QStringLiteral("kept.txt")}); }},
    {"the share itself is refused",
     [](auto &t) { write(t.shared("kept.txt"), "kept"); return t.share(); }, false, 0,
     [](auto &t) { EXPECT_EQ(t.shareEntries(), QStringList{QStringLiteral("kept.txt")}); }},
    {"a link the guest put at the name is replaced, never written through",
     [](auto &t) {
         write(t.root() + QStringLiteral("/outside.txt"), "host file");
         TestFiles::makeLink(t.root() + QStringLiteral("/outside.txt"), t.shared("notes.txt"));
         write(t.user("notes.txt"), "dropped");
         return t.user("notes.txt");
     },
     true, 7,
     [](auto &t) {
         EXPECT_EQ(read(t.root() + QStringLiteral("/outside.txt")), "host file");
         EXPECT_FALSE(QFileInfo(t.shared("notes.txt")).isSymLink());
         EXPECT_EQ(read(t.shared("notes.txt")), "dropped");
     }},
    {"a link to a folder the guest put at a folder's name is replaced, never written through",
     [](auto &t) {
         write(t.root() + QStringLiteral("/Outside/keep.txt"), "host");
         TestFiles::makeLink(t.root() + QStringLiteral("/Outside"), t.shared("Project"));
         write(t.user("Project/a.txt"), "a");
         return t.user("Project");
     },
     true, 1,
     [](auto &t) {
         EXPECT_EQ(QDir(t.root() + QStringLiteral("/Outside")).entryList(QDir::Files), QStringList{QStringLiteral("keep.txt")});
         EXPECT_EQ(read(t.shared("Project/a.txt")), "a");
         EXPECT_FALSE(QFileInfo(t.shared("Project")).isSymLink());
     }},
    {"a link the user dropped is taken for what it points at, under its own name",
     [](auto &t) { write(t.user("real.txt"), "target"); TestFiles::makeLink(t.user("real.txt"), t.user("alias.txt")); return t.user("alias.txt"); }, true, 6,
     [](auto &t) { EXPECT_EQ(read(t.shared("alias.txt")), "target"); }},
    {"an item that is gone fails",
     [](auto &t) { return t.user("missing.txt"); }, false, 0, [](auto &t) { EXPECT_TRUE(t.shareEntries().isEmpty()); }},
};

TEST_P(FileDropCopyTest, CopiesIntoTheShareWithoutLosingWhatIsThere)
{
    const DropCase &dropCase = GetParam();
    const QString item = dropCase.arrange(*this);
    QSignalSpy failures(&m_model, &FileDropTransferViewModel::failed);
    EXPECT_TRUE(drop({item}));
    WriteSteps::setHook({});
    ASSERT_EQ(m_model.transfers().size(), 1);
    const TransferredFile &transfer = m_model.transfers().first();
    EXPECT_EQ(transfer.name, QFileInfo(item).fileName());
    EXPECT_EQ(transfer.success, dropCase.succeeds) << transfer.errorMessage.value_or(QString()).toStdString();
    EXPECT_EQ(transfer.sizeBytes, dropCase.sizeBytes);
    EXPECT_EQ(transfer.errorMessage.has_value(), !dropCase.succeeds);
    EXPECT_EQ(failures.count(), dropCase.succeeds ? 0 : 1);
    EXPECT_EQ(m_model.pendingCount(), 0);
    dropCase.check(*this);
}

INSTANTIATE_TEST_SUITE_P(Drops, FileDropCopyTest, ::testing::ValuesIn(dropCases),
                         [](const ::testing::TestParamInfo<DropCase> &info) { return "case" + std::to_string(info.index); });

TEST_F(FileDropTransferViewModelTest, WithoutAShareNothingIsTakenAndAMissingShareIsNeverMade)
{
    write(user("notes.txt"), "hello");
    m_model.setSharedFolder(std::nullopt);
    EXPECT_FALSE(m_model.acceptsDrops());
    EXPECT_FALSE(drop({user("notes.txt")}));
    EXPECT_TRUE(m_model.transfers().isEmpty());
    EXPECT_EQ(m_model.promptText(false), QStringLiteral("Drag files here to send to Builder"));
    EXPECT_EQ(m_model.promptText(true), QStringLiteral("Drop to transfer"));

    const QString unmounted = root() + QStringLiteral("/Volumes/External/Share");
    m_model.setSharedFolder(unmounted);
    EXPECT_TRUE(drop({user("notes.txt")}));
    ASSERT_EQ(m_model.transfers().size(), 1);
    EXPECT_FALSE(m_model.transfers().first().success);
    EXPECT_TRUE(m_model.transfers().first().errorMessage->contains(QStringLiteral("does not exist")));
    EXPECT_FALSE(QFileInfo::exists(root() + QStringLiteral("/Volumes")));
}

TEST_F(FileDropTransferViewModelTest, TheListKeepsFiftyAfterASuccessAndCountsFailuresToo)
{
    write(user("a.txt"), "a");
    EXPECT_EQ(m_model.countText(), QString());
    drop({user("a.txt")});
    EXPECT_EQ(m_model.countText(), QStringLiteral("1 file transferred"));
    QStringList many;
    for (int index = 0; index < 49; ++index)
        many << user("a.txt");
    drop(many);
    EXPECT_EQ(m_model.transfers().size(), 50);
    drop({user("missing-1"), user("missing-2")});
    EXPECT_EQ(m_model.transfers().size(), 52) << "failures do not trim";
    EXPECT_EQ(m_model.countText(), QStringLiteral("52 files transferred"));
    EXPECT_EQ(m_model.transfers().first().name, QStringLiteral("missing-2")) << "newest first";
    drop({user("a.txt")});
    EXPECT_EQ(m_model.transfers().size(), 50);
    EXPECT_EQ(m_model.recentTransfers().size(), 10);
    EXPECT_EQ(m_model.recentTransfers().first(), m_model.transfers().first());
}

TEST_F(FileDropTransferViewModelTest, EachItemOfADropIsCopiedAndShownWhileCopying)
{
    write(user("a.txt"), "a");
    write(user("b.png"), "bb");
    write(user("c"), "ccc");
    QList<int> pending;
    QObject::connect(&m_model, &FileDropTransferViewModel::pendingCountChanged, [&] { pending << m_model.pendingCount(); });
    drop({user("a.txt"), user("b.png"), user("c")});
    EXPECT_EQ(pending, (QList<int>{3, 2, 1, 0}));
    EXPECT_EQ(m_model.countText(), QStringLiteral("3 files transferred"));
    EXPECT_EQ(QDir(share()).entryList(QDir::Files), (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.png"), QStringLiteral("c")}));
}

TEST_F(FileDropTransferViewModelTest, AnAcceptedDropIsCopiedWholeWhenItsPaneGoesAway)
{
    write(user("a.txt"), "a");
    write(user("b.txt"), "bb");
    write(user("c.txt"), "ccc");
    auto pane = std::make_unique<FileDropTransferViewModel>();
    pane->setSharedFolder(share());
    QCoro::Task<bool> copying = pane->drop({user("a.txt"), user("b.txt"), user("c.txt")});
    pane.reset(); // another VM is selected while the first copy runs

    EXPECT_TRUE(waitForOutcome(std::move(copying)).get());
    EXPECT_EQ(QDir(share()).entryList(QDir::Files), (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt"), QStringLiteral("c.txt")}));
    EXPECT_EQ(read(shared("c.txt")), "ccc");
}

TEST(FileDropTransferIconTest, TheLastExtensionChoosesTheSymbolWhateverItsCase)
{
    const QList<std::pair<QString, QString>> cases{
        {QStringLiteral("Report.PDF"), QStringLiteral("doc.richtext")}, {QStringLiteral("src.tar.gz"), QStringLiteral("doc.zipper")},
        {QStringLiteral("Makefile"), QStringLiteral("doc")},             {QStringLiteral("main.cpp"), QStringLiteral("doc.text")},
        {QStringLiteral("photo.JPEG"), QStringLiteral("photo")},          {QStringLiteral("Tool.app"), QStringLiteral("app.gift")},
        {QStringLiteral("Installer.pkg"), QStringLiteral("shippingbox")}, {QStringLiteral(".bashrc"), QStringLiteral("doc")},
    };
    for (const auto &[name, symbol] : cases)
        EXPECT_EQ(FileDropTransferViewModel::iconName(name), symbol) << name.toStdString();
}

} // namespace
