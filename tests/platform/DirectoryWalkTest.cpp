// SPDX-License-Identifier: MIT
#include "DirectoryWalk.h"
#include "TestFiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>

namespace {

class DirectoryWalkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TestFiles::write(m_tree + QStringLiteral("/a/file"), "x");
        TestFiles::write(m_tree + QStringLiteral("/.hidden/inner"), "x");
        TestFiles::write(m_tree + QStringLiteral("/.dot-file"), "x");
        TestFiles::write(m_outside + QStringLiteral("/secret"), "x");
        TestFiles::makeLink(m_outside, m_tree + QStringLiteral("/a/out"));
    }

    /// Relative paths in visiting order, with "@" marking a link.
    QStringList visited(DirectoryWalk::Options options) const
    {
        QStringList paths;
        DirectoryWalk::forEachItemBelow(m_tree, options, [&](const DirectoryWalk::Item &item) {
            paths.append(item.path.mid(m_tree.size() + 1) + (S_ISLNK(item.status.st_mode) ? QStringLiteral("@") : QString()));
        });
        return paths;
    }

    QTemporaryDir m_directory;
    QString m_tree = m_directory.path() + QStringLiteral("/tree");
    QString m_outside = m_directory.path() + QStringLiteral("/outside");
};

TEST_F(DirectoryWalkTest, VisitsContentBeforeItsFolderAndReportsLinksWithoutEnteringThem)
{
    const QStringList paths = visited({});

    EXPECT_EQ(paths.size(), 6) << paths.join(QLatin1Char(' ')).toStdString();
    for (const QString &expected :
        { QStringLiteral("a/file"), QStringLiteral("a/out@"), QStringLiteral(".hidden/inner"), QStringLiteral(".dot-file") })
        EXPECT_TRUE(paths.contains(expected)) << expected.toStdString();
    EXPECT_LT(paths.indexOf(QStringLiteral("a/file")), paths.indexOf(QStringLiteral("a")));
    EXPECT_LT(paths.indexOf(QStringLiteral(".hidden/inner")), paths.indexOf(QStringLiteral(".hidden")));
}

TEST_F(DirectoryWalkTest, SkippingHiddenItemsLeavesOutHiddenFoldersWithTheirContent)
{
    QStringList paths = visited({ .hidden = DirectoryWalk::HiddenItems::skip });
    paths.sort();
    EXPECT_EQ(paths, (QStringList { QStringLiteral("a"), QStringLiteral("a/file"), QStringLiteral("a/out@") }));
}

TEST_F(DirectoryWalkTest, AFolderThatCannotBeListedIsThrownOrPassedOver)
{
    const QString missing = m_directory.path() + QStringLiteral("/missing");
    const auto noVisit = [](const DirectoryWalk::Item &item) { ADD_FAILURE() << item.path.toStdString(); };

    TestFiles::expectPosixError([&] { DirectoryWalk::forEachItemBelow(missing, {}, noVisit); }, ENOENT, missing);
    EXPECT_NO_THROW(DirectoryWalk::forEachItemBelow(missing, { .failures = DirectoryWalk::Failures::passedOver }, noVisit));
    TestFiles::expectPosixError([&] { DirectoryWalk::forEachItemBelow(m_tree + QStringLiteral("/a/file"), {}, noVisit); }, ENOTDIR,
        m_tree + QStringLiteral("/a/file"));
}

} // namespace
