// SPDX-License-Identifier: MIT
#include "RestoreImageCatalog.h"

#include "RecordTestSupport.h"

#include <QTimeZone>

using namespace RecordTestSupport;
using Entry = RestoreImageCatalog::Entry;
using Channel = Entry::Channel;

namespace {

std::string catalogWithChannel(const char *channel)
{
    return std::string(R"({"schemaVersion":1,"images":[)"
                       R"({"build":"23E214","channel":"regular","displayName":"macOS 14.4","sourceURL":"https://example.com/a.ipsw","version":"14.4"},)"
                       R"({"build":"24A5264n","channel":")")
        + channel + R"(","displayName":"macOS 15 beta","sourceURL":"https://example.com/b.ipsw","version":"15.0"}]})";
}

} // namespace

TEST(RestoreImageCatalogTest, BetaChannelsUseShortRawValues)
{
    expectRawValues<Channel>({
        {Channel::regular, "regular"},
        {Channel::developerBeta, "devbeta"},
        {Channel::publicBeta, "pubbeta"},
        {Channel::seed, "seed"},
    });
    EXPECT_EQ(fromRaw<Channel>(u"developerBeta"), std::nullopt);
}

TEST(RestoreImageCatalogTest, OneBadChannelFailsTheWholeCatalog)
{
    const auto catalog = decoded<RestoreImageCatalog>(catalogWithChannel("devbeta"));
    ASSERT_EQ(catalog.images.size(), 2);
    EXPECT_EQ(catalog.images[1].channel, Channel::developerBeta);
    EXPECT_EQ(catalog.updatedAt, std::nullopt);
    const std::string written = compactJSON(catalog);
    EXPECT_NE(written.find(R"("channel":"devbeta")"), std::string::npos);
    EXPECT_EQ(written.find("updatedAt"), std::string::npos);

    for (const char *channel : {"developerBeta", "beta", "Regular"}) {
        try {
            decoded<RestoreImageCatalog>(catalogWithChannel(channel));
            ADD_FAILURE() << channel;
        } catch (const JSONDecodingError &error) {
            EXPECT_EQ(error.kind(), JSONDecodingError::Kind::dataCorrupted);
            EXPECT_EQ(error.codingPath(), "images.Index 1.channel");
        }
    }
}

TEST(RestoreImageCatalogTest, RoundTripKeepsOrderAndDate)
{
    const RestoreImageCatalog catalog{
        1,
        QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9), QTimeZone::utc()),
        {
            Entry{QStringLiteral("B"), QStringLiteral("2"), QStringLiteral("b2"), Channel::seed, QUrl(QStringLiteral("https://example.com/b"))},
            Entry{QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("a1"), Channel::publicBeta, QUrl(QStringLiteral("https://example.com/a"))},
        },
    };
    EXPECT_EQ(roundTripped(catalog), catalog);
    EXPECT_EQ(roundTripped(RestoreImageCatalog{3, std::nullopt, {}}), (RestoreImageCatalog{3, std::nullopt, {}}));
    expectDecodingFails<RestoreImageCatalog>(R"({"schemaVersion":1})", JSONDecodingError::Kind::keyNotFound);
}

TEST(RestoreImageCatalogTest, EntriesWithTheSameBuildShareTheirIdentity)
{
    const Entry first{QStringLiteral("macOS 14.4"), QStringLiteral("14.4"), QStringLiteral("23E214"), Channel::regular, QUrl()};
    Entry renamed = first;
    renamed.displayName = QStringLiteral("Sonoma");
    EXPECT_EQ(first.id(), renamed.id());
    EXPECT_NE(first, renamed);
}
