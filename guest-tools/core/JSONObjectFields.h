// SPDX-License-Identifier: MIT
#pragma once

#include "ISO8601.h"
#include "ToolsError.h"
#include "Uuid.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace GuestTools {

using Json = nlohmann::json;

/**
 * Reads the fields of one JSON object under the tools' strict rules: a
 * required key that is missing or null fails, types are never converted (no
 * boolean from text, no unsigned from a negative or fractional number),
 * identifiers and dates must be in their text forms. Keys the reader does
 * not ask for are ignored. Every failure is a ToolsError naming the key.
 */
class JSONObjectFields
{
public:
    /// Fails unless `json` is an object.
    explicit JSONObjectFields(const Json &json);

    std::string string(std::string_view key) const;
    /// Absent when the key is missing or null; a present value must be text.
    std::optional<std::string> optionalString(std::string_view key) const;
    bool boolean(std::string_view key) const;
    /// Absent when the key is missing or null; a present value must be a boolean.
    std::optional<bool> optionalBoolean(std::string_view key) const;
    /// Absent when the key is missing or null; a present value must be a whole number in the signed 64-bit range.
    std::optional<std::int64_t> optionalSigned64(std::string_view key) const;
    /// Absent when the key is missing or null; a present value must be an object whose every value is text.
    std::optional<std::map<std::string, std::string>> optionalStringMap(std::string_view key) const;
    std::uint64_t unsigned64(std::string_view key) const;
    Uuid uuid(std::string_view key) const;
    Timestamp date(std::string_view key) const;

    /// An enumeration read from its raw text through `fromRaw`; unknown text fails.
    template <typename E>
    E rawValue(std::string_view key, std::optional<E> (*fromRaw)(std::string_view)) const
    {
        const std::string text = string(key);
        if (const auto value = fromRaw(text))
            return *value;
        throw failure(key, "unknown value \"" + text + "\"");
    }

private:
    const Json &value(std::string_view key) const;
    bool isAbsent(std::string_view key) const;
    static ToolsError failure(std::string_view key, const std::string &reason);

    const Json &m_json;
};

} // namespace GuestTools
