// SPDX-License-Identifier: MIT
#include "VMNetworkTopologyStore.h"

#include "RecordTestSupport.h"

#include <QTimeZone>

using namespace RecordTestSupport;

TEST(VMNetworkTopologyStoreTest, IsAnObjectWithTheNetworksInOrder)
{
    EXPECT_EQ(compactJSON(VMNetworkTopologyStore{}), R"({"privateNetworks":[]})");
    expectDecodingFails<VMNetworkTopologyStore>("{}", JSONDecodingError::Kind::keyNotFound);
    expectDecodingFails<VMNetworkTopologyStore>("[]", JSONDecodingError::Kind::typeMismatch);

    VMNetworkTopologyStore store;
    for (const char *name : {"b", "a"}) {
        VMPrivateNetwork network;
        network.id = QUuid::createUuid();
        network.name = QString::fromUtf8(name);
        network.createdAt = QDateTime(QDate(2026, 1, 1), QTime(0, 0), QTimeZone::utc());
        store.privateNetworks.append(network);
    }
    const VMNetworkTopologyStore back = roundTripped(store);
    EXPECT_EQ(back.privateNetworks, store.privateNetworks);

    Json json = JSONCodec<VMNetworkTopologyStore>::encode(store);
    json["privateNetworks"][1].erase("isEnabled");
    expectDecodingFails<VMNetworkTopologyStore>(json.dump(), JSONDecodingError::Kind::keyNotFound);
}
