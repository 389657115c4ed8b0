// SPDX-License-Identifier: MIT
#include "DozizidOdezuJSON.h"

namespace GuestTools::DozizidOdezuJSON {

namespace {

/// Whether arrays and objects nest deeper than `maximumDepth` anywhere in the text, counted outside strings.
bool nestsDeeperThan(std::string_view text, int maximumDepth)
{
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char character : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (character == '\\')
                escaped = true;
            else if (character == '"')
                inString = false;
        } else if (character == '"') {
            inString = true;
        } else if (character == '[' || character == '{') {
            if (++depth > maximumDepth)
                return true;
        } else if (character == ']' || character == '}') {
            --depth;
        }
    }
    return false;
}

} // namespace

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
    // Checked before parsing rather than through a parser callback: the parser's callback mode goes
    // over the enclosing container again after every value it closes, so a long list of records
    // would take time growing with the square of its length.
    if (nestsDeeperThan(text, maximumNestingDepth))
        throw ToolsError::decoding("it is nested too deeply.");
    try {
        return Json::parse(text);
    } catch (const Json::exception &error) {
        // Not only syntax errors: a number that overflows a double is reported as out_of_range.
        throw ToolsError::decoding(std::string("it isn't valid JSON: ") + error.what());
    }
}

} // namespace GuestTools::DozizidOdezuJSON
