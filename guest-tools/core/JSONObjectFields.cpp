// SPDX-License-Identifier: MIT
#include "JSONObjectFields.h"

#include <climits>

namespace GuestTools {

JSONObjectFields::JSONObjectFields(const Json &json)
    : m_json(json)
{
    if (!json.is_object())
        throw ToolsError::decoding(std::string("expected an object but found ") + json.type_name());
}

const Json &JSONObjectFields::value(std::string_view key) const
{
    const auto found = m_json.find(key);
    if (found == m_json.end() || found->is_null())
        throw failure(key, "no value");
    return *found;
}

ToolsError JSONObjectFields::failure(std::string_view key, const std::string &reason)
{
    return ToolsError::decoding(reason + " for key \"" + std::string(key) + "\"");
}

std::string JSONObjectFields::string(std::string_view key) const
{
    const Json &json = value(key);
    if (!json.is_string())
        throw failure(key, std::string("expected a string but found ") + json.type_name());
    return json.get<std::string>();
}

std::optional<std::string> JSONObjectFields::optionalString(std::string_view key) const
{
    if (isAbsent(key))
        return std::nullopt;
    return string(key);
}

bool JSONObjectFields::boolean(std::string_view key) const
{
    const Json &json = value(key);
    if (!json.is_boolean())
        throw failure(key, std::string("expected a boolean but found ") + json.type_name());
    return json.get<bool>();
}

std::optional<bool> JSONObjectFields::optionalBoolean(std::string_view key) const
{
    if (isAbsent(key))
        return std::nullopt;
    return boolean(key);
}

std::optional<std::int64_t> JSONObjectFields::optionalSigned64(std::string_view key) const
{
    if (isAbsent(key))
        return std::nullopt;
    const Json &json = value(key);
    if (json.is_number_unsigned() && json.get<std::uint64_t>() <= std::uint64_t(INT64_MAX))
        return std::int64_t(json.get<std::uint64_t>());
    if (json.is_number_integer() && !json.is_number_unsigned())
        return json.get<std::int64_t>();
    throw failure(key, "expected a signed 64-bit integer");
}

std::optional<std::map<std::string, std::string>> JSONObjectFields::optionalStringMap(std::string_view key) const
{
    if (isAbsent(key))
        return std::nullopt;
    const Json &json = value(key);
    if (!json.is_object())
        throw failure(key, std::string("expected an object but found ") + json.type_name());
    std::map<std::string, std::string> values;
    for (const auto &[name, entry] : json.items()) {
        if (!entry.is_string())
            throw failure(key, "expected a string for \"" + name + "\"");
        values.emplace(name, entry.get<std::string>());
    }
    return values;
}

bool JSONObjectFields::isAbsent(std::string_view key) const
{
    const auto found = m_json.find(key);
    return found == m_json.end() || found->is_null();
}

std::uint64_t JSONObjectFields::unsigned64(std::string_view key) const
{
    // Numbers past 2^64-1 parse as floating point, so they fail here too.
    const Json &json = value(key);
    if (!json.is_number_unsigned())
        throw failure(key, "expected an unsigned 64-bit integer");
    return json.get<std::uint64_t>();
}

Uuid JSONObjectFields::uuid(std::string_view key) const
{
    const std::string text = string(key);
    if (const auto uuid = Uuid::parse(text))
        return *uuid;
    throw failure(key, "invalid UUID string \"" + text + "\"");
}

Timestamp JSONObjectFields::date(std::string_view key) const
{
    const std::string text = string(key);
    if (const auto date = ISO8601::parse(text))
        return *date;
    throw failure(key, "expected an ISO 8601 date without fractional seconds, found \"" + text + "\"");
}

} // namespace GuestTools
