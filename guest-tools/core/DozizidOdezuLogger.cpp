// SPDX-License-Identifier: MIT
#include "DozizidOdezuLogger.h"

#include "FileDescriptor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

namespace GuestTools {

DozizidOdezuLogger::DozizidOdezuLogger(std::filesystem::path logURL, Clock clock)
    : m_logURL(std::move(logURL))
    , m_clock(std::move(clock))
{
}

void DozizidOdezuLogger::log(std::string_view message) const noexcept
{
    try {
        std::string line = ISO8601::format(m_clock());
        line += ' ';
        line += message;
        line += '\n';
        // The clipboard agent logs into a shared temporary folder: never follow a link planted there.
        const FileDescriptor file(::open(m_logURL.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (!file.isOpen())
            return;
        size_t written = 0;
        while (written < line.size()) {
            const ssize_t count = ::write(file.get(), line.data() + written, line.size() - written);
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0)
                return;
            written += size_t(count);
        }
    } catch (...) {
        // Out of memory while building the line: the line is lost, as every other logging failure.
    }
}

} // namespace GuestTools
