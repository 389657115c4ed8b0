// SPDX-License-Identifier: MIT
#include "JSONObjectFields.h"

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
    const auto found = m_json.find(key);
    if (found == m_json.end() || found->is_null())
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
