// SPDX-License-Identifier: MIT
#include "SharedGuestMemory.h"

#include "PlatformError.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

SharedGuestMemory::SharedGuestMemory(quint64 size)
    : m_file(::memfd_create("guest-memory", MFD_CLOEXEC))
    , m_size(size)
{
    if (!m_file.isValid())
        throw PlatformError::posix(errno, QStringLiteral("guest memory"));
    if (::ftruncate(m_file.get(), off_t(size)) != 0)
        throw PlatformError::posix(errno, QStringLiteral("guest memory"));
}

QString SharedGuestMemory::pathInChild() const
{
    return QStringLiteral("/proc/self/fd/%1").arg(m_file.get());
}

quint64 SharedGuestMemory::allocatedBytes() const
{
    struct stat status {
    };
    if (::fstat(m_file.get(), &status) != 0)
        return 0;
    return quint64(status.st_blocks) * 512;
}
