// SPDX-License-Identifier: MIT
#pragma once

#include "Clock.h"

#include <filesystem>
#include <string_view>

namespace GuestTools {

/**
 * Appends lines "<ISO 8601 time> <message>" to one file. Logging never fails
 * towards the caller: a line that cannot be written is lost without a trace,
 * and nothing goes to standard output or error. The file is never trimmed.
 */
class DozizidOdezuLogger
{
public:
    explicit DozizidOdezuLogger(std::filesystem::path logURL, Clock clock = systemNow);

    const std::filesystem::path &logURL() const { return m_logURL; }

    /// Appends one line, creating the file (mode 0644) when it is missing; a link at the path is not followed.
    void log(std::string_view message) const noexcept;

private:
    std::filesystem::path m_logURL;
    Clock m_clock;
};

} // namespace GuestTools
