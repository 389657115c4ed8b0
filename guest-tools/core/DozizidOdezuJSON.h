// SPDX-License-Identifier: MIT
#pragma once

#include "GuestFiles.h"
#include "JSONObjectFields.h"
#include "ToolsError.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

/**
 * The JSON coding of every file the guest tools write and read, the same
 * rules as the host's: UTF-8, pretty printed, keys sorted, "/" written as
 * "\/", dates as whole-second UTC text, identifiers in upper case. Files are
 * written whole and atomically and read through GuestFiles' safe reads.
 *
 * @code
 * DozizidOdezuJSON::write(heartbeat, root.statusURL());
 * const auto request = DozizidOdezuJSON::read<VMGuestAutomationRequest>(path);
 * @endcode
 */
namespace GuestTools::DozizidOdezuJSON {

/// Files larger than this are refused unread; clipboard texts are the largest that travel.
inline constexpr std::size_t maximumFileSize = 16 * 1024 * 1024;
/// The deepest nesting of arrays and objects a file may have; far deeper than any message.
inline constexpr int maximumNestingDepth = 64;

/// The text of a JSON value; fails with a ToolsError when a string is not UTF-8.
std::string encodeJSON(const Json &json);
/// Parses JSON text in time linear in its length; fails with a ToolsError when it is malformed or nested too deeply.
Json parseJSON(std::string_view text);

template <typename T>
std::string encode(const T &value)
{
    return encodeJSON(Json(value));
}

template <typename T>
T decode(std::string_view text)
{
    // The records' readers throw ToolsErrors themselves.
    return parseJSON(text).get<T>();
}

template <typename T>
void write(const T &value, const std::filesystem::path &path)
{
    GuestFiles::writeAtomically(path, encode(value));
}

template <typename T>
T read(const std::filesystem::path &path)
{
    return decode<T>(GuestFiles::readRegularFile(path, maximumFileSize));
}

} // namespace GuestTools::DozizidOdezuJSON
