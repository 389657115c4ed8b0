// SPDX-License-Identifier: MIT
#include "JSONCoding.h"

#include "JSONNestingGauge.h"

#include <QRegularExpression>
#include <QTimeZone>

#include <cmath>
#include <limits>

JSONDecodingError::JSONDecodingError(Kind kind, const std::string &message, const std::string &codingPath)
    : std::runtime_error(codingPath.empty() ? message : message + " (at " + codingPath + ")")
    , m_kind(kind)
    , m_reason(message)
    , m_codingPath(codingPath)
{
}

JSONDecodingError JSONDecodingError::nested(const std::string &component) const
{
    return JSONDecodingError(m_kind, m_reason, m_codingPath.empty() ? component : component + "." + m_codingPath);
}

namespace JSONValue {

namespace {

std::string typeName(const Json &json)
{
    if (json.is_number_float())
        return "a fractional number";
    if (json.is_number_unsigned() || json.is_number_integer())
        return "an integer";
    return std::string("a ") + json.type_name();
}

} // namespace

void throwTypeMismatch(std::string_view expected, const Json &found)
{
    throw JSONDecodingError(JSONDecodingError::Kind::typeMismatch,
                            "Expected " + std::string(expected) + " but found " + typeName(found) + " instead");
}

Json encodeString(const QString &value)
{
    return value.toStdString();
}

QString decodeString(const Json &json)
{
    if (!json.is_string())
        throwTypeMismatch("a string", json);
    return QString::fromStdString(json.get_ref<const std::string &>());
}

Json encodeDate(const QDateTime &value)
{
    // Whole seconds only: the fraction is cut, never rounded up.
    const QDateTime utc = value.toUTC();
    return utc.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'")).toStdString();
}

QDateTime decodeDate(const Json &json)
{
    static const QRegularExpression form(QStringLiteral(R"(^(\d{4})-(\d{2})-(\d{2})T(\d{2}):(\d{2}):(\d{2})(Z|[+-]\d{2}:\d{2})$)"));
    const QString text = decodeString(json);
    const auto match = form.match(text);
    QDateTime date;
    if (match.hasMatch())
        date = QDateTime::fromString(text, Qt::ISODate);
    if (!date.isValid())
        throw JSONDecodingError(JSONDecodingError::Kind::dataCorrupted, "Expected date string to be ISO8601-formatted, found " + text.toStdString());
    return date.toUTC();
}

} // namespace JSONValue

bool JSONCodec<bool>::decode(const Json &json)
{
    if (!json.is_boolean())
        JSONValue::throwTypeMismatch("a boolean", json);
    return json.get<bool>();
}

qint64 JSONCodec<qint64>::decode(const Json &json)
{
    if (json.is_number_integer() && !json.is_number_unsigned())
        return json.get<qint64>();
    if (json.is_number_unsigned()) {
        const auto value = json.get<quint64>();
        if (value <= quint64(std::numeric_limits<qint64>::max()))
            return qint64(value);
        throw JSONDecodingError(JSONDecodingError::Kind::dataCorrupted, "Number " + std::to_string(value) + " does not fit in a signed 64-bit integer");
    }
    JSONValue::throwTypeMismatch("a signed 64-bit integer", json);
}

quint64 JSONCodec<quint64>::decode(const Json &json)
{
    if (json.is_number_unsigned())
        return json.get<quint64>();
    if (json.is_number_integer()) {
        const auto value = json.get<qint64>();
        if (value >= 0)
            return quint64(value);
        throw JSONDecodingError(JSONDecodingError::Kind::dataCorrupted, "Number " + std::to_string(value) + " does not fit in an unsigned 64-bit integer");
    }
    JSONValue::throwTypeMismatch("an unsigned 64-bit integer", json);
}

int JSONCodec<int>::decode(const Json &json)
{
    const qint64 value = JSONCodec<qint64>::decode(json);
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        throw JSONDecodingError(JSONDecodingError::Kind::dataCorrupted, "Number " + std::to_string(value) + " does not fit in a 32-bit integer");
    return int(value);
}

Json JSONCodec<double>::encode(double value)
{
    if (!std::isfinite(value))
        throw JSONEncodingError("Unable to encode " + std::to_string(value) + " directly in JSON: the number is not finite");
    return value;
}

double JSONCodec<double>::decode(const Json &json)
{
    if (!json.is_number())
        JSONValue::throwTypeMismatch("a number", json);
    return json.get<double>();
}

Json JSONCodec<QUuid>::encode(const QUuid &value)
{
    return value.toString(QUuid::WithoutBraces).toUpper().toStdString();
}

QUuid JSONCodec<QUuid>::decode(const Json &json)
{
    static const QRegularExpression form(QStringLiteral("^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$"));
    const QString text = JSONValue::decodeString(json);
    if (!form.match(text).hasMatch())
        throw JSONDecodingError(JSONDecodingError::Kind::dataCorrupted, "Attempted to decode UUID from invalid UUID string " + text.toStdString());
    return QUuid::fromString(text);
}

Json JSONCodec<QUrl>::encode(const QUrl &value)
{
    return QString::fromUtf8(value.toEncoded()).toStdString();
}

QUrl JSONCodec<QUrl>::decode(const Json &json)
{
    const QString text = JSONValue::decodeString(json);
    const QUrl url(text, QUrl::StrictMode);
    if (text.isEmpty() || !url.isValid())
        throw JSONDecodingError(JSONDecodingError::Kind::dataCorrupted, "Invalid URL string " + text.toStdString());
    return url;
}

Json JSONCodec<QByteArray>::encode(const QByteArray &value)
{
    return value.toBase64().toStdString();
}

QByteArray JSONCodec<QByteArray>::decode(const Json &json)
{
    const QString text = JSONValue::decodeString(json);
    const auto result = QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!result)
        throw JSONDecodingError(JSONDecodingError::Kind::dataCorrupted, "Encountered Data is not valid Base64");
    return *result;
}

JSONObjectReader::JSONObjectReader(const Json &json)
    : m_json(json)
{
    if (!json.is_object())
        JSONValue::throwTypeMismatch("an object", json);
}

QByteArray JSONEncoder::encodeJson(const Json &json) const
{
    // Slashes only occur inside strings, so escaping them in the output text is exact.
    const std::string text = json.dump(2);
    QByteArray bytes;
    bytes.reserve(qsizetype(text.size()));
    for (const char character : text) {
        if (character == '/')
            bytes.append('\\');
        bytes.append(character);
    }
    return bytes;
}

namespace {

/**
 * Counts the elements of a top-level array and stops the parser at the first
 * one past `limit`, or at nesting deeper than any decode accepts; builds
 * nothing.
 */
class ArrayLengthProbe final : public nlohmann::json_sax<Json>
{
public:
    explicit ArrayLengthProbe(std::size_t limit)
        : m_limit(limit)
    {
    }

    bool exceeded() const { return m_exceeded; }

    bool null() override { return value(); }
    bool boolean(bool) override { return value(); }
    bool number_integer(number_integer_t) override { return value(); }
    bool number_unsigned(number_unsigned_t) override { return value(); }
    bool number_float(number_float_t, const string_t &) override { return value(); }
    bool string(string_t &) override { return value(); }
    bool binary(binary_t &) override { return value(); }
    bool start_object(std::size_t) override { return open(false); }
    bool key(string_t &) override { return true; }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(true); }
    bool end_array() override { return close(); }
    bool parse_error(std::size_t, const std::string &, const Json::exception &) override { return false; }

private:
    bool value()
    {
        if (m_depth != 1 || !m_topIsArray)
            return true;
        m_exceeded = ++m_count > m_limit;
        return !m_exceeded;
    }
    bool open(bool isArray)
    {
        if (m_depth == 0)
            m_topIsArray = isArray;
        const bool goOn = value();
        ++m_depth;
        // Deeper than any decode accepts: what follows is for parse() to refuse, not for the probe to walk.
        return goOn && m_depth <= JSONDecoder::maximumNestingDepth;
    }
    bool close()
    {
        --m_depth;
        return true;
    }

    std::size_t m_limit;
    std::size_t m_count = 0;
    int m_depth = 0;
    bool m_topIsArray = false;
    bool m_exceeded = false;
};

} // namespace

bool JSONDecoder::isArrayLongerThan(const QByteArray &data, std::size_t limit) const
{
    ArrayLengthProbe probe(limit);
    try {
        Json::sax_parse(data.constBegin(), data.constEnd(), &probe);
    } catch (const Json::exception &) {
        // Malformed text is for parse() to report.
    }
    return probe.exceeded();
}

Json JSONDecoder::parse(const QByteArray &data) const
{
    // Checked before parsing rather than through a parser callback: the callback mode rescans the enclosing
    // array after every object it closes, so a long list of records would take time growing with the square of its length.
    JSONNestingGauge().feed(data);
    try {
        return Json::parse(data.constBegin(), data.constEnd());
    } catch (const Json::exception &error) {
        // Not only syntax errors: a number that overflows a double is reported as out_of_range.
        throw JSONDecodingError(JSONDecodingError::Kind::dataCorrupted, std::string("The given data was not valid JSON: ") + error.what());
    }
}

const JSONEncoder &sharedJSONEncoder()
{
    static const JSONEncoder encoder;
    return encoder;
}

const JSONDecoder &sharedJSONDecoder()
{
    static const JSONDecoder decoder;
    return decoder;
}
