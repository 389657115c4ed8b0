// SPDX-License-Identifier: MIT
#include "ApplicationResources.h"

#include "TestFiles.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(ApplicationResourcesTest, FindsFilesInItsFoldersOnly)
{
    const QTemporaryDir root;
    const QString resources = root.path() + QStringLiteral("/resources");
    const QString source = root.path() + QStringLiteral("/source");
    TestFiles::write(resources + QStringLiteral("/GuestTools/Tools.pkg"), "pkg");
    TestFiles::makeLink(resources + QStringLiteral("/GuestTools/Tools.pkg"), resources + QStringLiteral("/Linked.pkg"));
    TestFiles::write(source + QStringLiteral("/guest-tools/.build-artifacts/Tools.pkg"), "dev");
    ASSERT_TRUE(QDir().mkpath(resources + QStringLiteral("/Folder.pkg")));

    const ApplicationResources found(resources, source);
    EXPECT_EQ(found.resourcePath(QStringLiteral("GuestTools/Tools.pkg")), resources + QStringLiteral("/GuestTools/Tools.pkg"));
    EXPECT_EQ(found.resourcePath(QStringLiteral("Linked.pkg")), resources + QStringLiteral("/Linked.pkg"));
    EXPECT_EQ(found.resourcePath(QStringLiteral("Tools.pkg")), std::nullopt);
    EXPECT_EQ(found.resourcePath(QStringLiteral("Folder.pkg")), std::nullopt);
    EXPECT_EQ(found.sourceTreePath(QStringLiteral("guest-tools/.build-artifacts/Tools.pkg")),
        source + QStringLiteral("/guest-tools/.build-artifacts/Tools.pkg"));

    const ApplicationResources none(std::nullopt);
    EXPECT_EQ(none.resourcePath(QStringLiteral("GuestTools/Tools.pkg")), std::nullopt);
    EXPECT_EQ(none.sourceTreePath(QStringLiteral("guest-tools/.build-artifacts/Tools.pkg")), std::nullopt);
}

TEST(ApplicationResourcesTest, AProgramWithoutResourcesBesideItUsesTheSourceTreeItWasBuiltFrom)
{
    ASSERT_FALSE(QFileInfo::exists(QCoreApplication::applicationDirPath() + QStringLiteral("/resources")));
    const ApplicationResources standard = ApplicationResources::standard();
    ASSERT_TRUE(standard.sourceTree());
    EXPECT_TRUE(QFileInfo::exists(*standard.sourceTree() + QStringLiteral("/platform/ApplicationResources.h")));
    EXPECT_EQ(standard.resourcesFolder(), *standard.sourceTree() + QStringLiteral("/resources"));
}

} // namespace
