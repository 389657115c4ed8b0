// SPDX-License-Identifier: MIT
#include "VMGuestAutomationRequest.h"

#include "RecordTestSupport.h"

using namespace RecordTestSupport;

namespace {

VMGuestAutomationRequest growRequest()
{
    return VMGuestAutomationRequest{QUuid(QStringLiteral("{6f1c2a3b-4d5e-4f60-8a7b-9c0d1e2f3a4b}")),
                                    VMGuestAutomationCommand::expandSystemAPFSContainer,
                                    QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9), Qt::UTC), 137438953472};
}

} // namespace

TEST(VMGuestAutomationRequestTest, CommandsHaveTheirRawValues)
{
    expectRawValues<VMGuestAutomationCommand>({{VMGuestAutomationCommand::expandSystemAPFSContainer, "expandSystemAPFSContainer"},
                                               {VMGuestAutomationCommand::runCIScript, "runCIScript"}});
}

TEST(VMGuestAutomationRequestTest, EncodesSortedKeysWithUpperCaseIdentifier)
{
    EXPECT_EQ(sharedJSONEncoder().encode(growRequest()), QByteArray("{\n"
                                                                     "  \"command\": \"expandSystemAPFSContainer\",\n"
                                                                     "  \"createdAt\": \"2024-05-06T07:08:09Z\",\n"
                                                                     "  \"id\": \"6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B\",\n"
                                                                     "  \"requestedDiskSizeBytes\": 137438953472\n"
                                                                     "}"));
    EXPECT_EQ(roundTripped(growRequest()), growRequest());
}

TEST(VMGuestAutomationRequestTest, AcceptsLowerCaseIdentifiersExtraKeysAndTheFullSizeRange)
{
    const auto request = decoded<VMGuestAutomationRequest>(
        R"({"extra":[1],"requestedDiskSizeBytes":18446744073709551615,"id":"6f1c2a3b-4d5e-4f60-8a7b-9c0d1e2f3a4b",)"
        R"("createdAt":"2024-05-06T09:08:09+02:00","command":"expandSystemAPFSContainer"})");
    VMGuestAutomationRequest expected = growRequest();
    expected.requestedDiskSizeBytes = 18446744073709551615ULL;
    EXPECT_EQ(request, expected);
}

TEST(VMGuestAutomationRequestTest, AnyFaultyFieldFailsTheWholeRequest)
{
    using Kind = JSONDecodingError::Kind;
    const Json valid = JSONCodec<VMGuestAutomationRequest>::encode(growRequest());
    const struct {
        const char *key;
        Json value;
        Kind kind;
    } cases[] = {
        {"command", "expandsystemapfscontainer", Kind::dataCorrupted},
        {"command", nullptr, Kind::keyNotFound},
        {"createdAt", "2024-05-06T07:08:09.250Z", Kind::dataCorrupted},
        {"createdAt", "2024-05-06 07:08:09", Kind::dataCorrupted},
        {"id", "6F1C2A3B4D5E4F608A7B9C0D1E2F3A4B", Kind::dataCorrupted},
        {"id", 42, Kind::typeMismatch},
        {"requestedDiskSizeBytes", -1, Kind::dataCorrupted},
        {"requestedDiskSizeBytes", 1.5, Kind::typeMismatch},
        {"requestedDiskSizeBytes", "1024", Kind::typeMismatch},
        {"requestedDiskSizeBytes", Json::parse("18446744073709551616"), Kind::typeMismatch},
    };
    for (const auto &faulty : cases) {
        Json json = valid;
        if (faulty.value.is_null())
            json.erase(faulty.key);
        else
            json[faulty.key] = faulty.value;
        expectDecodingFails<VMGuestAutomationRequest>(json.dump(), faulty.kind);
    }
}
