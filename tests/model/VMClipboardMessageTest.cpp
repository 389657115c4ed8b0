// SPDX-License-Identifier: MIT
#include "VMClipboardMessage.h"

#include "RecordTestSupport.h"

using namespace RecordTestSupport;

namespace {

VMClipboardMessage fromGuest(const QString &textBase64)
{
    return VMClipboardMessage{QUuid(QStringLiteral("{c0ffee00-1234-4abc-9def-0123456789ab}")), VMClipboardMessageSource::guest,
                              QDateTime(QDate(2023, 12, 31), QTime(12, 0, 0), Qt::UTC), textBase64};
}

} // namespace

TEST(VMClipboardMessageTest, SourceRawValuesHostFirst)
{
    expectRawValues<VMClipboardMessageSource>({{VMClipboardMessageSource::host, "host"}, {VMClipboardMessageSource::guest, "guest"}});
}

TEST(VMClipboardMessageTest, KeepsTheBase64TextAsWritten)
{
    // "/" inside the Base64 text is escaped in the file, as every slash the shared encoder writes.
    const auto message = fromGuest(QStringLiteral("w6TDtsO8/w=="));
    EXPECT_EQ(sharedJSONEncoder().encode(message), QByteArray("{\n"
                                                              "  \"id\": \"C0FFEE00-1234-4ABC-9DEF-0123456789AB\",\n"
                                                              "  \"source\": \"guest\",\n"
                                                              "  \"textBase64\": \"w6TDtsO8\\/w==\",\n"
                                                              "  \"updatedAt\": \"2023-12-31T12:00:00Z\"\n"
                                                              "}"));
    EXPECT_EQ(roundTripped(message), message);
    EXPECT_EQ(roundTripped(fromGuest(QString())), fromGuest(QString()));
}

TEST(VMClipboardMessageTest, RefusesAnUnknownSourceOrANonUUIDIdentifier)
{
    Json json = JSONCodec<VMClipboardMessage>::encode(fromGuest(QStringLiteral("aGk=")));
    json["source"] = "Host";
    expectDecodingFails<VMClipboardMessage>(json.dump(), JSONDecodingError::Kind::dataCorrupted);

    json = JSONCodec<VMClipboardMessage>::encode(fromGuest(QStringLiteral("aGk=")));
    json["id"] = "1712345678-4242";
    expectDecodingFails<VMClipboardMessage>(json.dump(), JSONDecodingError::Kind::dataCorrupted);
    json["id"] = 17123456784242;
    expectDecodingFails<VMClipboardMessage>(json.dump(), JSONDecodingError::Kind::typeMismatch);
}
