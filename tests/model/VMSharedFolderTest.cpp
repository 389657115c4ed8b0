// SPDX-License-Identifier: MIT
#include "VMSharedFolder.h"

#include "RecordTestSupport.h"

using namespace RecordTestSupport;

namespace {

VMSharedFolder projects()
{
    return VMSharedFolder{QUuid(QStringLiteral("{0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d}")), QStringLiteral("Projects"),
                          QUrl::fromLocalFile(QStringLiteral("/home/user/Projects")), false, std::nullopt};
}

} // namespace

TEST(VMSharedFolderTest, BookmarkIsWrittenOnlyWhenPresent)
{
    VMSharedFolder folder = projects();
    EXPECT_EQ(compactJSON(folder), R"({"displayName":"Projects","id":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D",)"
                                   R"("isReadOnly":false,"localURL":"file:///home/user/Projects"})");
    EXPECT_EQ(roundTripped(folder), folder);

    folder.bookmarkData = QByteArray("\x00\xff bookmark", 11);
    EXPECT_EQ(JSONCodec<VMSharedFolder>::encode(folder).at("bookmarkData"), "AP8gYm9va21hcms=");
    EXPECT_EQ(roundTripped(folder), folder);
}

TEST(VMSharedFolderTest, TheFileIsABareArray)
{
    EXPECT_EQ(sharedJSONEncoder().encode(QList<VMSharedFolder>()), QByteArray("[]"));
    const QList<VMSharedFolder> folders{projects(), projects()};
    EXPECT_EQ(roundTripped(folders), folders);

    Json json = JSONCodec<QList<VMSharedFolder>>::encode(folders);
    json[1].erase("isReadOnly");
    expectDecodingFails<QList<VMSharedFolder>>(json.dump(), JSONDecodingError::Kind::keyNotFound);
}

TEST(VMSharedFolderTest, EveryFieldTakesPartInEquality)
{
    VMSharedFolder readOnly = projects();
    readOnly.isReadOnly = true;
    EXPECT_NE(readOnly, projects());
    VMSharedFolder emptyBookmark = projects();
    emptyBookmark.bookmarkData = QByteArray();
    EXPECT_NE(emptyBookmark, projects());
}
