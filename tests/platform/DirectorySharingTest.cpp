// SPDX-License-Identifier: MIT
#include "DirectorySharing.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace {

TEST(DirectorySharingTest, CanonicalNameIsOneUsableFolderName)
{
    const struct {
        QString name;
        std::optional<QString> canonical;
    } rows[] = {
        {QStringLiteral("Projects"), QStringLiteral("Projects")},
        {QStringLiteral("  My Data \n"), QStringLiteral("My Data")},
        {QStringLiteral("a/b"), QStringLiteral("a-b")},
        {QStringLiteral("tab\there"), QStringLiteral("tab-here")},
        {QStringLiteral("nul") + QChar(u'\0') + QStringLiteral("x"), QStringLiteral("nul-x")},
        {QStringLiteral("Übersicht ✓"), QStringLiteral("Übersicht ✓")},
        {QStringLiteral(".config"), QStringLiteral(".config")},
        {QString(), std::nullopt},
        {QStringLiteral("   "), std::nullopt},
        {QStringLiteral("."), std::nullopt},
        {QStringLiteral(" .. "), std::nullopt},
    };
    for (const auto &row : rows)
        EXPECT_EQ(MultipleDirectoryShare::canonicalName(row.name), row.canonical) << row.name.toStdString();
}

TEST(DirectorySharingTest, CanonicalNameIsCutToTheLongestFolderNameWithoutSplittingACharacter)
{
    const QString ascii(300, QLatin1Char('a'));
    EXPECT_EQ(MultipleDirectoryShare::canonicalName(ascii), QString(255, QLatin1Char('a')));

    // "é" is two bytes: 127 of them fill 254 bytes, a 128th would make 256.
    const QString accented(200, QChar(u'é'));
    const auto cut = MultipleDirectoryShare::canonicalName(accented);
    ASSERT_TRUE(cut);
    EXPECT_EQ(*cut, QString(127, QChar(u'é')));

    // Cut right after a blank: the blank is trimmed off again.
    const QString blankAtCut = QString(254, QLatin1Char('b')) + QStringLiteral(" tail");
    EXPECT_EQ(MultipleDirectoryShare::canonicalName(blankAtCut), QString(254, QLatin1Char('b')));
}

TEST(DirectorySharingTest, MultipleShareKeepsInsertionOrderAndOneFolderPerName)
{
    MultipleDirectoryShare share;
    EXPECT_TRUE(share.isEmpty());
    share.insert(QStringLiteral("Zeta"), {QStringLiteral("/z"), false});
    share.insert(QStringLiteral("Alpha"), {QStringLiteral("/a"), true});
    share.insert(QStringLiteral("Zeta"), {QStringLiteral("/z2"), true});

    EXPECT_EQ(share.names(), (QStringList{QStringLiteral("Zeta"), QStringLiteral("Alpha")}));
    EXPECT_EQ(share.directory(QStringLiteral("Zeta")), (SharedDirectory{QStringLiteral("/z2"), true}));
    EXPECT_TRUE(share.contains(QStringLiteral("Alpha")));
    EXPECT_FALSE(share.contains(QStringLiteral("alpha")));
    EXPECT_EQ(share.directory(QStringLiteral("alpha")), std::nullopt);

    MultipleDirectoryShare reordered;
    reordered.insert(QStringLiteral("Alpha"), {QStringLiteral("/a"), true});
    reordered.insert(QStringLiteral("Zeta"), {QStringLiteral("/z2"), true});
    EXPECT_NE(reordered, share);

    const VirtioFileSystemDeviceConfiguration device{QStringLiteral("tag"), share};
    EXPECT_EQ(device, (VirtioFileSystemDeviceConfiguration{QStringLiteral("tag"), share}));
    EXPECT_NE(device, (VirtioFileSystemDeviceConfiguration{QStringLiteral("tag"), SingleDirectoryShare{{QStringLiteral("/z2"), true}}}));
}

} // namespace
