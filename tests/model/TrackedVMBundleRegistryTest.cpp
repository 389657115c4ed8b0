// SPDX-License-Identifier: MIT
#include "TrackedVMBundleRegistry.h"

#include "RecordTestSupport.h"

#include <QTimeZone>

using namespace RecordTestSupport;

namespace {

TrackedVMBundleReference reference(const char *path)
{
    return TrackedVMBundleReference{QUuid::createUuid(), QByteArray("\x01\x02\x03 opaque", 10), QString::fromUtf8(path),
                                    QDateTime(QDate(2024, 4, 5), QTime(6, 7, 8, 900), QTimeZone::utc())};
}

} // namespace

TEST(TrackedVMBundleRegistryTest, EmptyRegistryIsAnObjectWithAnEmptyList)
{
    EXPECT_EQ(compactJSON(TrackedVMBundleRegistry{}), R"({"references":[]})");
    EXPECT_EQ(decoded<TrackedVMBundleRegistry>(R"({"references":[]})"), TrackedVMBundleRegistry{});
    expectDecodingFails<TrackedVMBundleRegistry>("{}", JSONDecodingError::Kind::keyNotFound);
    expectDecodingFails<TrackedVMBundleRegistry>("[]", JSONDecodingError::Kind::typeMismatch);
}

TEST(TrackedVMBundleRegistryTest, RoundTripKeepsBytesAndOrderButCutsFractions)
{
    const TrackedVMBundleRegistry registry{{reference("/media/disk/b.vm"), reference("/home/user/a.vm")}};
    const TrackedVMBundleRegistry back = roundTripped(registry);
    ASSERT_EQ(back.references.size(), 2);
    for (qsizetype index = 0; index < 2; ++index) {
        const auto &original = registry.references[index];
        const auto &read = back.references[index];
        EXPECT_EQ(read.id, original.id);
        EXPECT_EQ(read.bookmarkData, original.bookmarkData);
        EXPECT_EQ(read.lastKnownPath, original.lastKnownPath);
        EXPECT_EQ(read.addedAt, original.addedAt.addMSecs(-900));
    }

    const Json entry = JSONCodec<TrackedVMBundleReference>::encode(registry.references[0]);
    EXPECT_EQ(entry.at("addedAt"), "2024-04-05T06:07:08Z");
    std::string keys;
    for (const auto &item : entry.items())
        keys += item.key() + ' ';
    EXPECT_EQ(keys, "addedAt bookmarkData id lastKnownPath ");
}

TEST(TrackedVMBundleRegistryTest, AnEntryMissingAKeyFailsTheWholeRegistry)
{
    for (const char *key : {"addedAt", "bookmarkData", "id", "lastKnownPath"}) {
        Json json = JSONCodec<TrackedVMBundleRegistry>::encode(TrackedVMBundleRegistry{{reference("/a.vm"), reference("/b.vm")}});
        json["references"][1].erase(key);
        expectDecodingFails<TrackedVMBundleRegistry>(json.dump(), JSONDecodingError::Kind::keyNotFound);
    }
}
