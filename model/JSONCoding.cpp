// SPDX-License-Identifier: MIT
#include "JSONCoding.h"

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

Json JSONDecoder::parse(const QByteArray &data) const
{
    const Json::parser_callback_t limitDepth = [](int depth, Json::parse_event_t event, Json &) {
        if ((event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start) && depth >= maximumNestingDepth)
            throw JSONDecodingError(JSONDecodingError::Kind::dataCorrupted, "The given data was not valid JSON: nested too deeply.");
        return true;
    };
    try {
        return Json::parse(data.constBegin(), data.constEnd(), limitDepth);
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
