// SPDX-License-Identifier: MIT
#include "JSONCoding.h"
#include "JSONNestingGauge.h"

#include <gtest/gtest.h>

#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// A small record that uses every shared field type.
struct Sample {
    QString name;
    qint64 count = 0;
    quint64 size = 0;
    bool flag = false;
    double ratio = 0;
    QDateTime createdAt;
    QUuid id;
    QUrl location;
    QByteArray payload;
    std::optional<QString> note;
    QList<qint64> values;

    bool operator==(const Sample &) const = default;
};

void to_json(Json &json, const Sample &sample)
{
    JSONObjectWriter writer;
    writer.set("name", sample.name);
    writer.set("count", sample.count);
    writer.set("size", sample.size);
    writer.set("flag", sample.flag);
    writer.set("ratio", sample.ratio);
    writer.set("createdAt", sample.createdAt);
    writer.set("id", sample.id);
    writer.set("location", sample.location);
    writer.set("payload", sample.payload);
    writer.set("note", sample.note);
    writer.set("values", sample.values);
    json = writer.take();
}

void from_json(const Json &json, Sample &sample)
{
    const JSONObjectReader reader(json);
    sample.name = reader.required<QString>("name");
    sample.count = reader.required<qint64>("count");
    sample.size = reader.required<quint64>("size");
    sample.flag = reader.required<bool>("flag");
    sample.ratio = reader.required<double>("ratio");
    sample.createdAt = reader.required<QDateTime>("createdAt");
    sample.id = reader.required<QUuid>("id");
    sample.location = reader.required<QUrl>("location");
    sample.payload = reader.required<QByteArray>("payload");
    sample.note = reader.optional<QString>("note");
    sample.values = reader.required<QList<qint64>>("values");
}

struct Nested {
    Sample inner;
    bool operator==(const Nested &) const = default;
};

void to_json(Json &json, const Nested &nested)
{
    JSONObjectWriter writer;
    writer.set("zeta", nested.inner);
    writer.set("alpha", true);
    json = writer.take();
}

void from_json(const Json &json, Nested &nested)
{
    nested.inner = JSONObjectReader(json).required<Sample>("zeta");
}

Sample makeSample()
{
    Sample sample;
    sample.name = QStringLiteral("Dev / Test é");
    sample.count = -42;
    sample.size = 68719476736ULL;
    sample.flag = true;
    sample.ratio = 0.25;
    sample.createdAt = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7), Qt::UTC);
    sample.id = QUuid::fromString(QStringLiteral("{0f8fad5b-d9cb-469f-a165-70867728950e}"));
    sample.location = QUrl::fromLocalFile(QStringLiteral("/tmp/A folder/image.ipsw"));
    sample.payload = QByteArray("\x00\x01hello", 7);
    sample.values = {1, 2, 3};
    return sample;
}

Json sampleJson()
{
    return Json::parse(sharedJSONEncoder().encode(makeSample()).toStdString());
}

template <typename T>
void expectDecodeFailure(const Json &json, JSONDecodingError::Kind kind)
{
    try {
        JSONCodec<T>::decode(json);
        FAIL() << "decoded " << json.dump();
    } catch (const JSONDecodingError &error) {
        EXPECT_EQ(error.kind(), kind) << error.what();
    }
}

} // namespace

TEST(JSONCodingTest, RoundTripKeepsEveryFieldType)
{
    const Sample sample = makeSample();
    const QByteArray bytes = sharedJSONEncoder().encode(sample);
    EXPECT_EQ(sharedJSONDecoder().decode<Sample>(bytes), sample);
}

TEST(JSONCodingTest, OutputIsPrettySortedAndEscapesSlashes)
{
    Nested nested{makeSample()};
    const QString text = QString::fromUtf8(sharedJSONEncoder().encode(nested));

    EXPECT_TRUE(text.startsWith(QStringLiteral("{\n  \"alpha\": true,\n  \"zeta\": {\n")));
    // Nested keys are sorted too.
    const QStringList keys{QStringLiteral("\"count\""), QStringLiteral("\"createdAt\""), QStringLiteral("\"flag\""),
                           QStringLiteral("\"id\""), QStringLiteral("\"location\""), QStringLiteral("\"name\""),
                           QStringLiteral("\"payload\""), QStringLiteral("\"ratio\""), QStringLiteral("\"size\""),
                           QStringLiteral("\"values\"")};
    qsizetype previous = -1;
    for (const QString &key : keys) {
        const qsizetype position = text.indexOf(key);
        EXPECT_GT(position, previous) << key.toStdString();
        previous = position;
    }
    EXPECT_TRUE(text.contains(QStringLiteral("\"name\": \"Dev \\/ Test é\"")));
    EXPECT_TRUE(text.contains(QStringLiteral("\"location\": \"file:\\/\\/\\/tmp\\/A%20folder\\/image.ipsw\"")));
    EXPECT_FALSE(text.contains(QStringLiteral("null")));
}

TEST(JSONCodingTest, SharedValueFormsAreExact)
{
    const Json json = sampleJson();
    EXPECT_EQ(json["id"], "0F8FAD5B-D9CB-469F-A165-70867728950E");
    EXPECT_EQ(json["createdAt"], "2026-03-04T05:06:07Z");
    EXPECT_EQ(json["payload"], "AAFoZWxsbw==");
    EXPECT_FALSE(json.contains("note")); // absent optional: no key at all
}

TEST(JSONCodingTest, DatesAreWrittenWithoutFractionAndReadBackToTheSecond)
{
    Sample sample = makeSample();
    sample.createdAt = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7, 999), Qt::UTC);
    const Sample decoded = sharedJSONDecoder().decode<Sample>(sharedJSONEncoder().encode(sample));
    EXPECT_EQ(decoded.createdAt, QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7), Qt::UTC));

    // A time in another zone is written in UTC.
    EXPECT_EQ(JSONCodec<QDateTime>::encode(QDateTime(QDate(2026, 1, 1), QTime(1, 0), QTimeZone(3600))), "2026-01-01T00:00:00Z");
}

TEST(JSONCodingTest, DateTextsOutsideTheFormAreRefused)
{
    for (const char *text : {"2026-03-04T05:06:07.250Z", "2026-03-04 05:06:07Z", "2026-03-04", "2026-13-04T05:06:07Z", ""}) {
        SCOPED_TRACE(text);
        expectDecodeFailure<QDateTime>(Json(text), JSONDecodingError::Kind::dataCorrupted);
    }
    EXPECT_EQ(JSONCodec<QDateTime>::decode(Json("2026-03-04T06:06:07+01:00")), QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7), Qt::UTC));
}

TEST(JSONCodingTest, IntegersAreStrict)
{
    expectDecodeFailure<qint64>(Json(true), JSONDecodingError::Kind::typeMismatch);
    expectDecodeFailure<qint64>(Json(1.5), JSONDecodingError::Kind::typeMismatch);
    expectDecodeFailure<qint64>(Json(2.0), JSONDecodingError::Kind::typeMismatch);
    expectDecodeFailure<qint64>(Json("3"), JSONDecodingError::Kind::typeMismatch);
    expectDecodeFailure<qint64>(Json(std::numeric_limits<quint64>::max()), JSONDecodingError::Kind::dataCorrupted);
    expectDecodeFailure<quint64>(Json(-1), JSONDecodingError::Kind::dataCorrupted);
    expectDecodeFailure<quint64>(Json(false), JSONDecodingError::Kind::typeMismatch);
    expectDecodeFailure<bool>(Json(1), JSONDecodingError::Kind::typeMismatch);

    EXPECT_EQ(JSONCodec<qint64>::decode(Json::parse("-9223372036854775808")), std::numeric_limits<qint64>::min());
    EXPECT_EQ(JSONCodec<quint64>::decode(Json::parse("18446744073709551615")), std::numeric_limits<quint64>::max());
    EXPECT_DOUBLE_EQ(JSONCodec<double>::decode(Json(3)), 3.0);
}

TEST(JSONCodingTest, NonFiniteNumbersCannotBeEncoded)
{
    for (const double value : {std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
        Sample sample = makeSample();
        sample.ratio = value;
        EXPECT_THROW(sharedJSONEncoder().encode(sample), JSONEncodingError);
    }
}

TEST(JSONCodingTest, IdentifiersBytesAndLocationsValidateTheirText)
{
    EXPECT_EQ(JSONCodec<QUuid>::decode(Json("0f8fad5b-d9cb-469f-a165-70867728950e")),
              QUuid::fromString(QStringLiteral("0F8FAD5B-D9CB-469F-A165-70867728950E")));
    expectDecodeFailure<QUuid>(Json("{0f8fad5b-d9cb-469f-a165-70867728950e}"), JSONDecodingError::Kind::dataCorrupted);
    expectDecodeFailure<QUuid>(Json("not-a-uuid"), JSONDecodingError::Kind::dataCorrupted);
    expectDecodeFailure<QByteArray>(Json("***"), JSONDecodingError::Kind::dataCorrupted);
    expectDecodeFailure<QUrl>(Json(""), JSONDecodingError::Kind::dataCorrupted);
}

TEST(JSONCodingTest, FailuresNameTheMissingOrBadKey)
{
    Json json = sampleJson();
    json.erase("count");
    try {
        JSONCodec<Sample>::decode(json);
        FAIL();
    } catch (const JSONDecodingError &error) {
        EXPECT_EQ(error.kind(), JSONDecodingError::Kind::keyNotFound);
        EXPECT_NE(std::string(error.what()).find("count"), std::string::npos);
    }

    json = sampleJson();
    json["values"][1] = "two";
    try {
        JSONCodec<Sample>::decode(json);
        FAIL();
    } catch (const JSONDecodingError &error) {
        EXPECT_EQ(error.codingPath(), "values.Index 1");
    }
}

TEST(JSONCodingTest, NullOptionalReadsAsAbsentAndUnknownKeysAreIgnored)
{
    Json json = sampleJson();
    json["note"] = nullptr;
    json["somethingNew"] = 1;
    const Sample decoded = JSONCodec<Sample>::decode(json);
    EXPECT_FALSE(decoded.note.has_value());
    EXPECT_FALSE(JSONCodec<Sample>::encode(decoded).contains("somethingNew"));
}

TEST(JSONCodingTest, MalformedTextIsADecodingError)
{
    EXPECT_THROW(sharedJSONDecoder().decode<Sample>("{\"name\": "), JSONDecodingError);
    EXPECT_THROW(sharedJSONDecoder().decode<Sample>("[]"), JSONDecodingError);
    EXPECT_THROW(sharedJSONDecoder().decode<Sample>(""), JSONDecodingError);
}

TEST(JSONCodingTest, HostileTextIsADecodingErrorToo)
{
    const QByteArray deep = QByteArray(JSONDecoder::maximumNestingDepth + 1, '[') + QByteArray(JSONDecoder::maximumNestingDepth + 1, ']');
    const QByteArray endless(8 * 1024 * 1024, '[');
    for (const QByteArray &text : {QByteArray(R"({"name": 1e999})"), QByteArray("[-1e400]"), deep, endless}) {
        try {
            sharedJSONDecoder().parse(text);
            ADD_FAILURE() << "parsed " << text.left(40).toStdString();
        } catch (const JSONDecodingError &error) {
            EXPECT_EQ(error.kind(), JSONDecodingError::Kind::dataCorrupted);
        }
    }
    const QByteArray shallow = QByteArray(JSONDecoder::maximumNestingDepth, '[') + QByteArray(JSONDecoder::maximumNestingDepth, ']');
    EXPECT_NO_THROW(sharedJSONDecoder().parse(shallow));
    // Brackets inside strings, escaped quotes included, are text, not nesting.
    const QByteArray inString = "[\"\\\"" + QByteArray(JSONDecoder::maximumNestingDepth + 1, '[') + "\\\\\", \"{\"]";
    EXPECT_EQ(sharedJSONDecoder().parse(inString).size(), 2u) << inString.toStdString();
}

TEST(JSONCodingTest, NestingIsGaugedAlikeWhateverPiecesTheTextArrivesIn)
{
    const int most = JSONDecoder::maximumNestingDepth;
    const QByteArray deepest = QByteArray(most, '{').replace("{", "{\"a\":") + "1" + QByteArray(most, '}');
    const struct {
        const char *what;
        QByteArray text;
        bool tooDeep;
    } cases[] = {
        {"as deep as allowed", QByteArray(most, '[') + QByteArray(most, ']'), false},
        {"objects as deep as allowed", deepest, false},
        {"one level more", QByteArray(most + 1, '[') + QByteArray(most + 1, ']'), true},
        {"levels that closed do not add up", (QByteArray(most, '[') + QByteArray(most, ']')).repeated(3), false},
        {"brackets in a string", "[\"" + QByteArray(most + 1, '{') + "\"]", false},
        {"an escaped quote keeps the string open", "[\"\\\"" + QByteArray(most + 1, '[') + "\"]", false},
        {"an escaped backslash ends before the quote", "[\"\\\\\"" + QByteArray(most + 1, '[') + QByteArray(most + 1, ']') + "]", true},
        {"no end at all", QByteArray(16 * 1024 * 1024, '['), true},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        for (const qsizetype pieceSize : {qsizetype(1), qsizetype(2), qsizetype(7), testCase.text.size()}) {
            SCOPED_TRACE(pieceSize);
            JSONNestingGauge gauge;
            qsizetype fed = 0;
            try {
                for (; fed < testCase.text.size(); fed += pieceSize)
                    gauge.feed(QByteArrayView(testCase.text).sliced(fed, std::min(pieceSize, testCase.text.size() - fed)));
                EXPECT_FALSE(testCase.tooDeep);
            } catch (const JSONDecodingError &error) {
                EXPECT_TRUE(testCase.tooDeep);
                EXPECT_EQ(error.kind(), JSONDecodingError::Kind::dataCorrupted);
                EXPECT_STREQ(error.what(), "The given data was not valid JSON: nested too deeply.");
                // Refused at the bracket too many, not at the end of the text.
                EXPECT_LT(fed, 1024);
            }
        }
    }
}

TEST(JSONCodingTest, AnArrayIsFoundLongerThanALimitWithoutReadingPastIt)
{
    const struct {
        QByteArray text;
        std::size_t limit;
        bool longer;
    } cases[] = {
        {"[]", 0, false},
        {"[1, 2, 3]", 2, true},
        {"[1, 2, 3]", 3, false},
        // Nested values count once, whatever they hold.
        {R"([[1, 2, 3, 4], {"a": [1, 2], "b": null}])", 1, true},
        {R"([[1, 2, 3, 4], {"a": [1, 2], "b": null}])", 2, false},
        {R"({"a": 1, "b": 2, "c": 3})", 1, false},
        {"[1, 2,", 5, false},
        // Found before the damage further on is read.
        {"[1, 2, 3, oops", 2, true},
        // Nesting no decode accepts is not walked through: left for parse() to refuse.
        {"[" + QByteArray(JSONDecoder::maximumNestingDepth, '[') + QByteArray(JSONDecoder::maximumNestingDepth, ']') + ", 2, 3]", 1, false},
        {"[" + QByteArray(JSONDecoder::maximumNestingDepth - 1, '[') + QByteArray(JSONDecoder::maximumNestingDepth - 1, ']') + ", 2, 3]", 1, true},
    };
    for (const auto &entry : cases)
        EXPECT_EQ(sharedJSONDecoder().isArrayLongerThan(entry.text, entry.limit), entry.longer) << entry.text.toStdString() << " " << entry.limit;
}

TEST(JSONCodingTest, NestedRecordsRoundTrip)
{
    const Nested nested{makeSample()};
    EXPECT_EQ(sharedJSONDecoder().decode<Nested>(sharedJSONEncoder().encode(nested)), nested);
}
