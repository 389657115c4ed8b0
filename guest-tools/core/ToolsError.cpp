// SPDX-License-Identifier: MIT
#include "ToolsError.h"

#include <cstring>

namespace GuestTools {

ToolsError::ToolsError(std::string_view domain, int code, const std::string &description)
    : std::runtime_error(description)
    , m_domain(domain)
    , m_code(code)
{
}

ToolsError ToolsError::posix(int errorNumber, const std::string &context)
{
    return ToolsError(posixDomain, errorNumber, context + ": " + std::strerror(errorNumber));
}

ToolsError ToolsError::decoding(const std::string &reason)
{
    return ToolsError(jsonDomain, jsonDecodingFailed, "The data couldn't be read: " + reason);
}

} // namespace GuestTools
