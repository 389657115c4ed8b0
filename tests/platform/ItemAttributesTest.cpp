// SPDX-License-Identifier: MIT
#include "ItemAttributes.h"

#include "TestFiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>

namespace {

class ItemAttributesTest : public ::testing::Test
{
protected:
    QString at(const QString &relative) const { return m_root.path() + QLatin1Char('/') + relative; }

    QTemporaryDir m_root;
};

TEST_F(ItemAttributesTest, AModificationTimeIsCarriedToTheNanosecond)
{
    TestFiles::write(at(QStringLiteral("source")), "12345");
    TestFiles::write(at(QStringLiteral("copy")), "12345");
    ItemAttributes::setModificationTime(at(QStringLiteral("source")), { 1'700'000'000, 123'456'789 });

    const ItemAttributes::Status source = ItemAttributes::status(at(QStringLiteral("source")));
    EXPECT_EQ(source.kind, ItemAttributes::Status::Kind::file);
    EXPECT_EQ(source.size, 5u);
    EXPECT_EQ(source.modificationTime.tv_nsec, 123'456'789);
    EXPECT_FALSE(ItemAttributes::status(at(QStringLiteral("copy"))).hasSameModificationTime(source));

    ItemAttributes::setModificationTime(at(QStringLiteral("copy")), source.modificationTime);
    EXPECT_TRUE(ItemAttributes::status(at(QStringLiteral("copy"))).hasSameModificationTime(source));
}

TEST_F(ItemAttributesTest, ALinkIsMeasuredAndChangedAsItselfNeverThroughItsTarget)
{
    TestFiles::write(at(QStringLiteral("target")), "a longer content than the link's own text");
    ASSERT_TRUE(QFile::setPermissions(at(QStringLiteral("target")), QFile::ReadOwner | QFile::WriteOwner));
    TestFiles::makeLink(at(QStringLiteral("target")), at(QStringLiteral("link")));

    const ItemAttributes::Status link = ItemAttributes::status(at(QStringLiteral("link")));
    EXPECT_EQ(link.kind, ItemAttributes::Status::Kind::link);
    EXPECT_EQ(link.size, quint64(at(QStringLiteral("target")).toUtf8().size()));

    TestFiles::expectPosixError(
        [&] { ItemAttributes::setPermissions(at(QStringLiteral("link")), 0777); }, EOPNOTSUPP, at(QStringLiteral("link")));
    EXPECT_EQ(TestFiles::permissions(at(QStringLiteral("target"))), mode_t(0600));

    ItemAttributes::setPermissions(at(QStringLiteral("target")), 0640);
    EXPECT_EQ(ItemAttributes::status(at(QStringLiteral("target"))).permissions, mode_t(0640));
    TestFiles::expectPosixError([&] { ItemAttributes::status(at(QStringLiteral("missing"))); }, ENOENT, at(QStringLiteral("missing")));
}

} // namespace
