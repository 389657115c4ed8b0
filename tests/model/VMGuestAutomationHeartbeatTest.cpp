// SPDX-License-Identifier: MIT
#include "VMGuestAutomationHeartbeat.h"

#include "RecordTestSupport.h"

using namespace RecordTestSupport;

TEST(VMGuestAutomationHeartbeatTest, ComputerNameIsOptionalAndNeverWrittenAsNull)
{
    const QDateTime seen(QDate(2024, 2, 29), QTime(23, 59, 59), Qt::UTC);
    for (const char *text : {R"({"agentVersion":"3","lastSeenAt":"2024-02-29T23:59:59Z"})",
                             R"({"agentVersion":"3","guestComputerName":null,"lastSeenAt":"2024-02-29T23:59:59Z"})"}) {
        const auto heartbeat = decoded<VMGuestAutomationHeartbeat>(text);
        EXPECT_EQ(heartbeat, (VMGuestAutomationHeartbeat{QStringLiteral("3"), seen, std::nullopt}));
        EXPECT_EQ(compactJSON(heartbeat), R"({"agentVersion":"3","lastSeenAt":"2024-02-29T23:59:59Z"})");
    }

    const VMGuestAutomationHeartbeat named{QStringLiteral("3"), seen, QStringLiteral("Büro-Mac")};
    EXPECT_EQ(roundTripped(named), named);
    EXPECT_NE(named, (VMGuestAutomationHeartbeat{QStringLiteral("3"), seen, QString()}));
}

TEST(VMGuestAutomationHeartbeatTest, VersionAndTimeAreRequired)
{
    expectDecodingFails<VMGuestAutomationHeartbeat>(R"({"lastSeenAt":"2024-02-29T23:59:59Z"})", JSONDecodingError::Kind::keyNotFound);
    expectDecodingFails<VMGuestAutomationHeartbeat>(R"({"agentVersion":3,"lastSeenAt":"2024-02-29T23:59:59Z"})",
                                                    JSONDecodingError::Kind::typeMismatch);
    expectDecodingFails<VMGuestAutomationHeartbeat>(R"({"agentVersion":"3"})", JSONDecodingError::Kind::keyNotFound);
}
