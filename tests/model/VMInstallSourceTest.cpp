// SPDX-License-Identifier: MIT
#include "VMInstallSource.h"

#include "RecordTestSupport.h"

using namespace RecordTestSupport;
using Kind = VMInstallSource::Kind;

namespace {

RestoreImageInfo catalogImage()
{
    return RestoreImageInfo{QStringLiteral("macOS 14.4"), QStringLiteral("14.4"), QStringLiteral("23E214"),
                            QUrl(QStringLiteral("https://example.com/a.ipsw")), std::nullopt, RestoreImageInfo::DownloadState::availableRemotely};
}

const QUrl localImage = QUrl::fromLocalFile(QStringLiteral("/home/user/Downloads/Images/UniversalMac_14.4.ipsw"));

} // namespace

TEST(VMInstallSourceTest, KindRawValues)
{
    expectRawValues<Kind>({
        {Kind::latestSupportedAutomatic, "latestSupportedAutomatic"},
        {Kind::catalogRestoreImage, "catalogRestoreImage"},
        {Kind::localRestoreImage, "localRestoreImage"},
    });
}

TEST(VMInstallSourceTest, EachCaseCarriesOnlyItsPayload)
{
    const auto catalog = VMInstallSource::catalogRestoreImage(catalogImage());
    EXPECT_EQ(catalog.kind(), Kind::catalogRestoreImage);
    EXPECT_EQ(catalog.restoreImageInfo(), catalogImage());
    EXPECT_EQ(catalog.fileURL(), std::nullopt);

    const auto local = VMInstallSource::localRestoreImage(localImage);
    EXPECT_EQ(local.kind(), Kind::localRestoreImage);
    EXPECT_EQ(local.fileURL(), localImage);
    EXPECT_EQ(local.restoreImageInfo(), std::nullopt);

    EXPECT_EQ(VMInstallSource().kind(), Kind::latestSupportedAutomatic);
    EXPECT_EQ(VMInstallSource(), VMInstallSource::latestSupportedAutomatic());
    EXPECT_NE(local, VMInstallSource::localRestoreImage(QUrl::fromLocalFile(QStringLiteral("/other.ipsw"))));
}

TEST(VMInstallSourceTest, Summary)
{
    EXPECT_EQ(VMInstallSource::catalogRestoreImage(catalogImage()).summary(), QStringLiteral("Automatic Restore Image (macOS 14.4)"));
    EXPECT_EQ(VMInstallSource::localRestoreImage(localImage).summary(), QStringLiteral("Local Restore Image (UniversalMac_14.4.ipsw)"));
    EXPECT_EQ(VMInstallSource::latestSupportedAutomatic().summary(), QStringLiteral("Latest Supported macOS"));
}

TEST(VMInstallSourceTest, JSONHoldsTheKindAndOnlyItsPayloadKey)
{
    EXPECT_EQ(compactJSON(VMInstallSource()), R"({"kind":"latestSupportedAutomatic"})");
    EXPECT_EQ(compactJSON(VMInstallSource::localRestoreImage(localImage)),
              R"({"fileURL":"file:///home/user/Downloads/Images/UniversalMac_14.4.ipsw","kind":"localRestoreImage"})");
    const Json catalog = JSONCodec<VMInstallSource>::encode(VMInstallSource::catalogRestoreImage(catalogImage()));
    EXPECT_EQ(catalog.size(), 2u);
    EXPECT_EQ(catalog.at("kind"), "catalogRestoreImage");
    EXPECT_EQ(catalog.at("restoreImageInfo"), JSONCodec<RestoreImageInfo>::encode(catalogImage()));

    for (const auto &source : {VMInstallSource(), VMInstallSource::catalogRestoreImage(catalogImage()), VMInstallSource::localRestoreImage(localImage)})
        EXPECT_EQ(roundTripped(source), source);
}

TEST(VMInstallSourceTest, DecodingReadsOnlyThePayloadOfTheKind)
{
    const auto stray = decoded<VMInstallSource>(R"({"kind":"latestSupportedAutomatic","fileURL":"file:///x.ipsw"})");
    EXPECT_EQ(stray, VMInstallSource());
    EXPECT_EQ(compactJSON(stray), R"({"kind":"latestSupportedAutomatic"})");

    const auto local = decoded<VMInstallSource>(R"({"kind":"localRestoreImage","fileURL":"file:///x.ipsw","restoreImageInfo":7})");
    EXPECT_EQ(local, VMInstallSource::localRestoreImage(QUrl(QStringLiteral("file:///x.ipsw"))));

    using ErrorKind = JSONDecodingError::Kind;
    const struct {
        const char *json;
        ErrorKind kind;
    } failures[] = {
        {R"({"kind":"localRestoreImage"})", ErrorKind::keyNotFound},
        {R"({"kind":"catalogRestoreImage","fileURL":"file:///x.ipsw"})", ErrorKind::keyNotFound},
        {R"({"kind":"catalog"})", ErrorKind::dataCorrupted},
        {R"({"fileURL":"file:///x.ipsw"})", ErrorKind::keyNotFound},
        {R"({"kind":"catalogRestoreImage","restoreImageInfo":{"build":"1"}})", ErrorKind::keyNotFound},
    };
    for (const auto &row : failures)
        expectDecodingFails<VMInstallSource>(row.json, row.kind);
}
