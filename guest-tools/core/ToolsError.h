// SPDX-License-Identifier: MIT
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace GuestTools {

/**
 * The one error type of the guest tools: an error domain, an integer code and
 * a description. The description is what the programs write to their logs.
 *
 * @code
 * throw ToolsError(ToolsError::daemonDomain, 1, "Unable to determine APFS container identifier.");
 * @endcode
 */
class ToolsError : public std::runtime_error
{
public:
    /// System calls; the code is errno.
    static constexpr std::string_view posixDomain = "POSIX";
    /// A child process failed; the code is its exit status (or the signal that ended it).
    static constexpr std::string_view processRunnerDomain = "DozizidOdezu.ProcessRunner";
    static constexpr std::string_view daemonDomain = "DozizidOdezu.Daemon";
    /// JSON that cannot be read or written; see the codes below.
    static constexpr std::string_view jsonDomain = "DozizidOdezu.JSON";
    static constexpr int jsonDecodingFailed = 1;
    static constexpr int jsonEncodingFailed = 2;

    ToolsError(std::string_view domain, int code, const std::string &description);

    /// `context` followed by the system's text for `errorNumber`.
    static ToolsError posix(int errorNumber, const std::string &context);
    static ToolsError decoding(const std::string &reason);

    const std::string &domain() const { return m_domain; }
    int code() const { return m_code; }
    std::string description() const { return what(); }

private:
    std::string m_domain;
    int m_code;
};

} // namespace GuestTools
