// SPDX-License-Identifier: MIT
#include "VMPrivateNetwork.h"

#include "RecordTestSupport.h"

#include <QTimeZone>

using namespace RecordTestSupport;

namespace {

const QUuid first = QUuid::fromString(QStringLiteral("11111111-2222-3333-4444-55555555AAAA"));
const QUuid second = QUuid::fromString(QStringLiteral("99999999-8888-7777-6666-55555555BBBB"));

VMPrivateNetwork sampleNetwork()
{
    VMPrivateNetwork network;
    network.id = QUuid::fromString(QStringLiteral("0a0b0c0d-0000-4000-8000-00000000abcd"));
    network.name = QStringLiteral("Lab/Net");
    network.subnet = QStringLiteral("192.168.100.0/24");
    network.memberBundleIDs = {first, second};
    network.createdAt = QDateTime(QDate(2026, 2, 3), QTime(4, 5, 6, 700), QTimeZone::utc());
    network.isEnabled = true;
    return network;
}

} // namespace

TEST(VMPrivateNetworkTest, JSONFormSortsKeysAndCutsTheFraction)
{
    EXPECT_EQ(compactJSON(sampleNetwork()),
              R"({"createdAt":"2026-02-03T04:05:06Z","id":"0A0B0C0D-0000-4000-8000-00000000ABCD","isEnabled":true,)"
              R"("memberBundleIDs":["11111111-2222-3333-4444-55555555AAAA","99999999-8888-7777-6666-55555555BBBB"],)"
              R"("name":"Lab/Net","subnet":"192.168.100.0/24"})");
    VMPrivateNetwork expected = sampleNetwork();
    expected.createdAt = expected.createdAt.addMSecs(-700);
    EXPECT_EQ(roundTripped(sampleNetwork()), expected);
}

TEST(VMPrivateNetworkTest, KeepsAnySubnetTextAndMemberList)
{
    for (const QString &subnet : {QString(), QStringLiteral("not a subnet"), QStringLiteral("10.0.0.0/33")}) {
        VMPrivateNetwork network = sampleNetwork();
        network.subnet = subnet;
        network.memberBundleIDs.clear();
        network.createdAt = QDateTime(QDate(2026, 2, 3), QTime(4, 5, 6), QTimeZone::utc());
        EXPECT_EQ(roundTripped(network), network);
        EXPECT_EQ(JSONCodec<VMPrivateNetwork>::encode(network).at("memberBundleIDs"), Json::array());
    }
}

TEST(VMPrivateNetworkTest, MemberOrderMakesADifferentValue)
{
    VMPrivateNetwork reordered = sampleNetwork();
    reordered.memberBundleIDs = {second, first};
    EXPECT_NE(reordered, sampleNetwork());
}

TEST(VMPrivateNetworkTest, EveryKeyIsRequiredAndTyped)
{
    const Json complete = JSONCodec<VMPrivateNetwork>::encode(sampleNetwork());
    for (const char *key : {"createdAt", "id", "isEnabled", "memberBundleIDs", "name", "subnet"}) {
        Json json = complete;
        json.erase(key);
        expectDecodingFails<VMPrivateNetwork>(json.dump(), JSONDecodingError::Kind::keyNotFound);
    }
    const struct {
        const char *key;
        Json value;
        JSONDecodingError::Kind kind;
    } corrupt[] = {
        {"id", "not-a-uuid", JSONDecodingError::Kind::dataCorrupted},
        {"memberBundleIDs", Json::array({"nope"}), JSONDecodingError::Kind::dataCorrupted},
        {"createdAt", "2026-02-03 04:05:06", JSONDecodingError::Kind::dataCorrupted},
        {"isEnabled", 1, JSONDecodingError::Kind::typeMismatch},
        {"memberBundleIDs", "11111111-2222-3333-4444-55555555AAAA", JSONDecodingError::Kind::typeMismatch},
    };
    for (const auto &row : corrupt) {
        Json json = complete;
        json[row.key] = row.value;
        expectDecodingFails<VMPrivateNetwork>(json.dump(), row.kind);
    }
}
