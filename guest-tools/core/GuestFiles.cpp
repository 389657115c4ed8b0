// SPDX-License-Identifier: MIT
#include "GuestFiles.h"

#include "FileDescriptor.h"
#include "ToolsError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <vector>

namespace GuestTools::GuestFiles {

namespace {

/// Removes the temporary file unless it was renamed into place.
class TemporaryFile
{
public:
    explicit TemporaryFile(const std::filesystem::path &target)
    {
        std::string pattern = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        m_descriptor = FileDescriptor(::mkostemp(buffer.data(), O_CLOEXEC));
        if (!m_descriptor.isOpen())
            throw ToolsError::posix(errno, "Could not create a temporary file for " + target.string());
        m_path = buffer.data();
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;
    ~TemporaryFile()
    {
        m_descriptor.reset();
        if (!m_committed)
            ::unlink(m_path.c_str());
    }

    int descriptor() const { return m_descriptor.get(); }

    void commit(const std::filesystem::path &target)
    {
        m_descriptor.reset();
        if (::rename(m_path.c_str(), target.c_str()) != 0)
            throw ToolsError::posix(errno, "Could not replace " + target.string());
        m_committed = true;
    }

private:
    FileDescriptor m_descriptor;
    std::string m_path;
    bool m_committed = false;
};

} // namespace

std::string readRegularFile(const std::filesystem::path &path, std::size_t maximumSize)
{
    // O_NONBLOCK keeps a FIFO planted in the folder from blocking the open; the type check then refuses it.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.isOpen())
        throw ToolsError::posix(errno, "Could not open " + path.string());
    struct stat status {};
    if (::fstat(file.get(), &status) != 0)
        throw ToolsError::posix(errno, "Could not read " + path.string());
    if (!S_ISREG(status.st_mode))
        throw ToolsError(ToolsError::posixDomain, EINVAL, path.string() + " is not a regular file");

    std::string content;
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(file.get(), buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            throw ToolsError::posix(errno, "Could not read " + path.string());
        }
        if (count == 0)
            return content;
        if (content.size() + size_t(count) > maximumSize)
            throw ToolsError(ToolsError::posixDomain, EFBIG,
                             path.string() + " is larger than " + std::to_string(maximumSize) + " bytes");
        content.append(buffer, size_t(count));
    }
}

void writeAtomically(const std::filesystem::path &path, std::string_view bytes)
{
    TemporaryFile temporary(path);
    if (::fchmod(temporary.descriptor(), 0644) != 0)
        throw ToolsError::posix(errno, "Could not write " + path.string());
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(temporary.descriptor(), bytes.data() + written, bytes.size() - written);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            throw ToolsError::posix(errno, "Could not write " + path.string());
        }
        written += size_t(count);
    }
    temporary.commit(path);
}

void createDirectories(const std::filesystem::path &path)
{
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error)
        throw ToolsError::posix(error.value(), "Could not create the folder " + path.string());
}

} // namespace GuestTools::GuestFiles
