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
    try {
        return Json::parse(text);
    } catch (const Json::parse_error &error) {
        throw ToolsError::decoding(std::string("it isn't valid JSON: ") + error.what());
    }
}

} // namespace GuestTools::DozizidOdezuJSON
