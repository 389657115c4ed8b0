// SPDX-License-Identifier: MIT
#include "DozizidOdezuJSON.h"

namespace GuestTools::DozizidOdezuJSON {

std::string encodeJSON(const Json &json)
{
    std::string text;
    try {
        text = json.dump(2, ' ', false, Json::error_handler_t::strict);
    } catch (const Json::exception &error) {
        throw ToolsError(ToolsError::jsonDomain, ToolsError::jsonEncodingFailed,
                         std::string("The data couldn't be written: ") + error.what());
    }
    // Slashes occur only inside strings, so escaping them in the text is exact.
    std::string escaped;
    escaped.reserve(text.size());
    for (const char character : text) {
        if (character == '/')
            escaped.push_back('\\');
        escaped.push_back(character);
    }
    return escaped;
}

Json parseJSON(std::string_view text)
{
    // Far deeper than any message; a hostile file nested deeper would only cost time and memory.
    constexpr int maximumNestingDepth = 64;
    const Json::parser_callback_t limitDepth = [](int depth, Json::parse_event_t event, Json &) {
        if ((event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start) && depth >= maximumNestingDepth)
            throw ToolsError::decoding("it is nested too deeply.");
        return true;
    };
    try {
        return Json::parse(text, limitDepth);
    } catch (const Json::exception &error) {
        // Not only syntax errors: a number that overflows a double is reported as out_of_range.
        throw ToolsError::decoding(std::string("it isn't valid JSON: ") + error.what());
    }
}

} // namespace GuestTools::DozizidOdezuJSON
