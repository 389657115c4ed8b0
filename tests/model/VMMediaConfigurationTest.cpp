// SPDX-License-Identifier: MIT
#include "VMMediaConfiguration.h"

#include "RecordTestSupport.h"

using namespace RecordTestSupport;

TEST(VMMediaConfigurationTest, DefaultIsMicrophoneOffSpeakerOn)
{
    EXPECT_EQ(VMMediaConfiguration{}, (VMMediaConfiguration{false, true}));
}

TEST(VMMediaConfigurationTest, BothKeysAreWrittenAndRequired)
{
    const VMMediaConfiguration configuration{true, false};
    EXPECT_EQ(compactJSON(configuration), R"({"isMicrophoneEnabled":true,"isSpeakerEnabled":false})");
    EXPECT_EQ(roundTripped(configuration), configuration);

    expectDecodingFails<VMMediaConfiguration>(R"({"isSpeakerEnabled":true})", JSONDecodingError::Kind::keyNotFound);
    expectDecodingFails<VMMediaConfiguration>(R"({"isMicrophoneEnabled":1,"isSpeakerEnabled":true})", JSONDecodingError::Kind::typeMismatch);
}
