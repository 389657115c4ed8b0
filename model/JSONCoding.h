// SPDX-License-Identifier: MIT
#pragma once

#include "RawValueEnum.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <nlohmann/json.hpp>

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

/**
 * The coding rules shared by every JSON file the application reads or writes.
 *
 * Records define to_json/from_json beside their type and build them from
 * JSONObjectWriter and JSONObjectReader, which apply the rules:
 *  - keys come out sorted (std::map-backed json) and pretty printed, "/" as "\/";
 *  - points in time as YYYY-MM-DDTHH:MM:SSZ; fractions are cut on write and
 *    refused on read;
 *  - identifiers as upper-case canonical text; bytes as Base64;
 *  - an absent optional is left out, never written as null;
 *  - types are strict: a boolean or a fraction is not an integer, a negative
 *    number is not an unsigned one, a non-finite number cannot be written;
 *  - an enumeration text that is not a raw value fails the whole decode.
 */
using Json = nlohmann::json;

/// Decoding failed: malformed JSON, a missing key, a wrong type or a corrupt value.
class JSONDecodingError : public std::runtime_error
{
public:
    enum class Kind { dataCorrupted, keyNotFound, typeMismatch };

    JSONDecodingError(Kind kind, const std::string &message, const std::string &codingPath = {});

    Kind kind() const { return m_kind; }
    const std::string &codingPath() const { return m_codingPath; }
    const std::string &reason() const { return m_reason; }

    /// The same error seen from one level up: `component` is prepended to the path.
    JSONDecodingError nested(const std::string &component) const;

private:
    Kind m_kind;
    std::string m_reason;
    std::string m_codingPath;
};

/// Encoding failed: a value has no JSON form (a non-finite number).
class JSONEncodingError : public std::runtime_error
{
    using std::runtime_error::runtime_error;
};

/**
 * How one field type maps to JSON. Specialised below for the shared value
 * types; the primary template covers records, through their to_json and
 * from_json found by argument-dependent lookup.
 */
template <typename T>
struct JSONCodec {
    static Json encode(const T &value)
    {
        Json json;
        to_json(json, value);
        return json;
    }
    static T decode(const Json &json)
    {
        T value{};
        from_json(json, value);
        return value;
    }
};

namespace JSONValue {
[[noreturn]] void throwTypeMismatch(std::string_view expected, const Json &found);
Json encodeString(const QString &value);
QString decodeString(const Json &json);
Json encodeDate(const QDateTime &value);
QDateTime decodeDate(const Json &json);
} // namespace JSONValue

template <>
struct JSONCodec<QString> {
    static Json encode(const QString &value) { return JSONValue::encodeString(value); }
    static QString decode(const Json &json) { return JSONValue::decodeString(json); }
};

template <>
struct JSONCodec<bool> {
    static Json encode(bool value) { return value; }
    static bool decode(const Json &json);
};

template <>
struct JSONCodec<qint64> {
    static Json encode(qint64 value) { return value; }
    static qint64 decode(const Json &json);
};

template <>
struct JSONCodec<quint64> {
    static Json encode(quint64 value) { return value; }
    static quint64 decode(const Json &json);
};

template <>
struct JSONCodec<int> {
    static Json encode(int value) { return value; }
    static int decode(const Json &json);
};

template <>
struct JSONCodec<double> {
    static Json encode(double value);
    static double decode(const Json &json);
};

template <>
struct JSONCodec<QDateTime> {
    static Json encode(const QDateTime &value) { return JSONValue::encodeDate(value); }
    static QDateTime decode(const Json &json) { return JSONValue::decodeDate(json); }
};

template <>
struct JSONCodec<QUuid> {
    static Json encode(const QUuid &value);
    static QUuid decode(const Json &json);
};

template <>
struct JSONCodec<QUrl> {
    static Json encode(const QUrl &value);
    static QUrl decode(const Json &json);
};

template <>
struct JSONCodec<QByteArray> {
    static Json encode(const QByteArray &value);
    static QByteArray decode(const Json &json);
};

template <RawValueEnum E>
struct JSONCodec<E> {
    static Json encode(E value) { return JSONValue::encodeString(toRaw(value)); }
    static E decode(const Json &json)
    {
        const QString text = JSONValue::decodeString(json);
        if (const auto value = fromRaw<E>(text))
            return *value;
        throw JSONDecodingError(JSONDecodingError::Kind::dataCorrupted,
                                "Cannot initialize " + std::string(RawValues<E>::typeName)
                                    + " from invalid String value " + text.toStdString());
    }
};

template <typename T>
struct JSONCodec<QList<T>> {
    static Json encode(const QList<T> &values)
    {
        Json array = Json::array();
        for (const T &value : values)
            array.push_back(JSONCodec<T>::encode(value));
        return array;
    }
    static QList<T> decode(const Json &json)
    {
        if (!json.is_array())
            JSONValue::throwTypeMismatch("an array", json);
        QList<T> values;
        values.reserve(qsizetype(json.size()));
        for (size_t index = 0; index < json.size(); ++index) {
            try {
                values.append(JSONCodec<T>::decode(json[index]));
            } catch (const JSONDecodingError &error) {
                throw error.nested("Index " + std::to_string(index));
            }
        }
        return values;
    }
};

/// A map with text keys is a JSON object; equal maps encode alike whatever order their entries were added in.
template <typename T>
struct JSONCodec<QMap<QString, T>> {
    static Json encode(const QMap<QString, T> &values)
    {
        Json object = Json::object();
        for (auto entry = values.cbegin(); entry != values.cend(); ++entry)
            object[entry.key().toStdString()] = JSONCodec<T>::encode(entry.value());
        return object;
    }
    static QMap<QString, T> decode(const Json &json)
    {
        if (!json.is_object())
            JSONValue::throwTypeMismatch("an object", json);
        QMap<QString, T> values;
        for (const auto &[key, value] : json.items()) {
            try {
                values.insert(QString::fromStdString(key), JSONCodec<T>::decode(value));
            } catch (const JSONDecodingError &error) {
                throw error.nested(key);
            }
        }
        return values;
    }
};

/// Reads the fields of one JSON object; every failure names the key.
class JSONObjectReader
{
public:
    /// Throws a type mismatch unless `json` is an object.
    explicit JSONObjectReader(const Json &json);

    bool contains(std::string_view key) const { return m_json.contains(key); }

    template <typename T>
    T required(std::string_view key) const
    {
        const auto found = m_json.find(key);
        if (found == m_json.end() || found->is_null())
            throw JSONDecodingError(JSONDecodingError::Kind::keyNotFound, "No value associated with key \"" + std::string(key) + "\"");
        return decodeField<T>(key, *found);
    }

    /// Absent when the key is missing (or null); a present value must decode.
    template <typename T>
    std::optional<T> optional(std::string_view key) const
    {
        const auto found = m_json.find(key);
        if (found == m_json.end() || found->is_null())
            return std::nullopt;
        return decodeField<T>(key, *found);
    }

private:
    template <typename T>
    static T decodeField(std::string_view key, const Json &value)
    {
        try {
            return JSONCodec<T>::decode(value);
        } catch (const JSONDecodingError &error) {
            throw error.nested(std::string(key));
        }
    }

    const Json &m_json;
};

/// Builds one JSON object; optional fields that are absent are left out.
class JSONObjectWriter
{
public:
    template <typename T>
    void set(std::string_view key, const T &value)
    {
        m_json[std::string(key)] = JSONCodec<T>::encode(value);
    }

    template <typename T>
    void set(std::string_view key, const std::optional<T> &value)
    {
        if (value)
            set(key, *value);
    }

    Json take() { return std::move(m_json); }

private:
    Json m_json = Json::object();
};

/// Writes values as the shared JSON text.
class JSONEncoder
{
public:
    template <typename T>
    QByteArray encode(const T &value) const
    {
        return encodeJson(JSONCodec<T>::encode(value));
    }
    QByteArray encodeJson(const Json &json) const;
};

/// Reads values from the shared JSON text.
class JSONDecoder
{
public:
    template <typename T>
    T decode(const QByteArray &data) const
    {
        return JSONCodec<T>::decode(parse(data));
    }
    /**
     * Parses JSON text; throws JSONDecodingError (dataCorrupted) when it is
     * malformed, holds a number beyond the range of a double, or nests
     * arrays and objects deeper than maximumNestingDepth.
     */
    Json parse(const QByteArray &data) const;
    /**
     * Whether `data` is a JSON array of more than `limit` elements. Reads no
     * further than the element past the limit, nor past nesting deeper than
     * maximumNestingDepth, and builds nothing, so a hostile list is refused
     * at a cost bounded by the limit; malformed or too deeply nested text
     * gives false and is left for parse() to report.
     */
    bool isArrayLongerThan(const QByteArray &data, std::size_t limit) const;

    /// Far deeper than any record of ours; refusing more keeps a hostile file from costing time and memory.
    static constexpr int maximumNestingDepth = 64;
};

const JSONEncoder &sharedJSONEncoder();
const JSONDecoder &sharedJSONDecoder();
