// SPDX-License-Identifier: MIT
#include "VMGuestAutomationResponse.h"

#include "RecordTestSupport.h"

using namespace RecordTestSupport;

namespace {

VMGuestAutomationResponse completed()
{
    return VMGuestAutomationResponse{QUuid(QStringLiteral("{0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d}")), true,
                                     QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5), Qt::UTC),
                                     QStringLiteral("macOS claimed the newly available space automatically.")};
}

} // namespace

TEST(VMGuestAutomationResponseTest, RoundTripsWithSortedKeys)
{
    EXPECT_EQ(compactJSON(completed()), R"({"handledAt":"2024-01-02T03:04:05Z","message":"macOS claimed the newly available space automatically.",)"
                                        R"("requestID":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D","success":true})");
    EXPECT_EQ(roundTripped(completed()), completed());
}

TEST(VMGuestAutomationResponseTest, SuccessMustBeAJSONBoolean)
{
    Json json = JSONCodec<VMGuestAutomationResponse>::encode(completed());
    for (const Json &value : {Json("true"), Json(1)}) {
        json["success"] = value;
        expectDecodingFails<VMGuestAutomationResponse>(json.dump(), JSONDecodingError::Kind::typeMismatch);
    }
    json.erase("success");
    expectDecodingFails<VMGuestAutomationResponse>(json.dump(), JSONDecodingError::Kind::keyNotFound);
}
