// SPDX-License-Identifier: MIT
#include "RestoreImageInfo.h"

#include "RecordTestSupport.h"

using namespace RecordTestSupport;
using State = RestoreImageInfo::DownloadState;

TEST(RestoreImageInfoTest, DownloadStateRawValues)
{
    expectRawValues<State>({
        {State::notRequested, "notRequested"},
        {State::availableRemotely, "availableRemotely"},
        {State::cachedLocally, "cachedLocally"},
        {State::selectedLocalFile, "selectedLocalFile"},
        {State::failed, "failed"},
    });
}

TEST(RestoreImageInfoTest, LocationsAreWrittenOnlyWhenPresent)
{
    RestoreImageInfo info{QStringLiteral("macOS 14.4"), QStringLiteral("14.4"), QStringLiteral("23E214"), std::nullopt, std::nullopt,
                          State::notRequested};
    EXPECT_EQ(compactJSON(info), R"({"build":"23E214","displayName":"macOS 14.4","downloadState":"notRequested","version":"14.4"})");
    EXPECT_EQ(roundTripped(info), info);

    info.sourceURL = QUrl(QStringLiteral("https://updates.example.com/Restore/UniversalMac 14.4.ipsw"));
    info.localFileURL = QUrl::fromLocalFile(QStringLiteral("/home/user/Images/Mac.ipsw"));
    info.downloadState = State::cachedLocally;
    EXPECT_EQ(compactJSON(info), R"({"build":"23E214","displayName":"macOS 14.4","downloadState":"cachedLocally",)"
                                 R"("localFileURL":"file:///home/user/Images/Mac.ipsw",)"
                                 R"("sourceURL":"https://updates.example.com/Restore/UniversalMac%2014.4.ipsw","version":"14.4"})");
    EXPECT_EQ(roundTripped(info), info);
}

TEST(RestoreImageInfoTest, DecodingIsStrict)
{
    using Kind = JSONDecodingError::Kind;
    const struct {
        const char *json;
        Kind kind;
    } cases[] = {
        {R"({"build":"1","displayName":"d","version":"1"})", Kind::keyNotFound},
        {R"({"build":"1","displayName":"d","downloadState":"downloaded","version":"1"})", Kind::dataCorrupted},
        {R"({"build":1,"displayName":"d","downloadState":"failed","version":"1"})", Kind::typeMismatch},
        {R"({"build":"1","displayName":"d","downloadState":"failed","version":"1","sourceURL":""})", Kind::dataCorrupted},
    };
    for (const auto &row : cases)
        expectDecodingFails<RestoreImageInfo>(row.json, row.kind);
}
