// SPDX-License-Identifier: MIT
#include "ItemReplacement.h"

#include "FileOperations.h"
#include "TestFiles.h"

#include <QTemporaryDir>

using namespace TestFiles;

namespace {

class ItemReplacementTest : public ::testing::Test
{
protected:
    QString path(const QString &relative) const { return m_directory.path() + QLatin1Char('/') + relative; }
    QStringList entries() const { return FileOperations::folderEntries(m_directory.path()); }

    QTemporaryDir m_directory;
};

} // namespace

TEST_F(ItemReplacementTest, MoveWithoutReplacingRefusesAnExistingDestination)
{
    write(path(QStringLiteral("new/inner")), "new");
    ItemReplacement::moveWithoutReplacing(path(QStringLiteral("new")), path(QStringLiteral("moved")));
    EXPECT_EQ(read(path(QStringLiteral("moved/inner"))), "new");
    EXPECT_FALSE(FileOperations::itemExists(path(QStringLiteral("new"))));

    for (const QString &existing : {QStringLiteral("file"), QStringLiteral("emptyFolder")}) {
        if (existing == QStringLiteral("file"))
            write(path(existing), "old");
        else
            ASSERT_TRUE(QDir().mkpath(path(existing)));
        expectPosixError([&] { ItemReplacement::moveWithoutReplacing(path(QStringLiteral("moved")), path(existing)); }, EEXIST,
                         path(existing));
        EXPECT_EQ(read(path(QStringLiteral("moved/inner"))), "new");
    }
    EXPECT_EQ(read(path(QStringLiteral("file"))), "old");
}

TEST_F(ItemReplacementTest, ReplaceSwapsInAnyKindOfItemAndRemovesTheOld)
{
    const struct {
        bool replacementIsFolder;
        bool targetIsFolder;
        bool targetExists;
    } table[] = {
        {true, true, true}, {true, false, true}, {false, true, true}, {false, false, true}, {true, false, false}, {false, false, false},
    };
    for (const auto &row : table) {
        const QString target = path(QStringLiteral("target"));
        const QString replacement = path(QStringLiteral(".replacement"));
        if (row.targetExists)
            write(row.targetIsFolder ? target + QStringLiteral("/old/deep") : target, "old");
        write(row.replacementIsFolder ? replacement + QStringLiteral("/content") : replacement, "new");

        ItemReplacement::replace(replacement, target);

        EXPECT_EQ(read(row.replacementIsFolder ? target + QStringLiteral("/content") : target), "new");
        EXPECT_EQ(entries(), QStringList{QStringLiteral("target")}) << row.replacementIsFolder << row.targetIsFolder << row.targetExists;
        FileOperations::removeItem(target);
    }
}

TEST_F(ItemReplacementTest, AMissingReplacementLeavesTheTarget)
{
    write(path(QStringLiteral("target")), "old");
    expectPosixError([&] { ItemReplacement::replace(path(QStringLiteral("missing")), path(QStringLiteral("target"))); }, ENOENT,
                     path(QStringLiteral("missing")));
    EXPECT_EQ(read(path(QStringLiteral("target"))), "old");
}
