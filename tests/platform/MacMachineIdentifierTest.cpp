// SPDX-License-Identifier: MIT
#include "MacMachineIdentifier.h"

#include <QSet>

#include <gtest/gtest.h>

TEST(MacMachineIdentifierTest, NewIdentifiersAreSixteenFreshRandomBytes)
{
    QSet<QByteArray> seen;
    for (int round = 0; round < 64; ++round) {
        const MacMachineIdentifier identifier = MacMachineIdentifier::generate();
        EXPECT_EQ(identifier.bytes().size(), 16);
        seen.insert(identifier.bytes());
    }
    EXPECT_EQ(seen.size(), 64);
}

TEST(MacMachineIdentifierTest, TheDataRepresentationReadsBackIntoAnEqualIdentifier)
{
    const MacMachineIdentifier identifier = MacMachineIdentifier::generate();
    const QByteArray data = identifier.dataRepresentation();
    EXPECT_TRUE(data.contains("\"format\": \"DuvuzodOvevav.MachineIdentifier\"")) << data.toStdString();
    EXPECT_TRUE(data.contains("\"version\": 1")) << data.toStdString();
    EXPECT_EQ(MacMachineIdentifier::fromDataRepresentation(data), identifier);
}

TEST(MacMachineIdentifierTest, AnythingElseIsNoIdentifier)
{
    const char *const refused[] = {
        "",
        "garbage",
        "[]",
        R"({"format":"DuvuzodOvevav.MachineIdentifier","identifier":"AAECAwQFBgcICQoLDA0ODw==","version":2})",
        R"({"format":"DuvuzodOvevav.HardwareModel","identifier":"AAECAwQFBgcICQoLDA0ODw==","version":1})",
        R"({"format":"DuvuzodOvevav.MachineIdentifier","identifier":"AAECAwQFBgcICQoLDA0O","version":1})",
        R"({"format":"DuvuzodOvevav.MachineIdentifier","identifier":"not base64!","version":1})",
        R"({"format":"DuvuzodOvevav.MachineIdentifier","version":1})",
    };
    for (const char *data : refused)
        EXPECT_FALSE(MacMachineIdentifier::fromDataRepresentation(QByteArray(data)).has_value()) << data;
    EXPECT_TRUE(MacMachineIdentifier::fromDataRepresentation(
                    R"({"format":"DuvuzodOvevav.MachineIdentifier","identifier":"AAECAwQFBgcICQoLDA0ODw==","version":1})")
                    .has_value());
}
