// SPDX-License-Identifier: MIT
#include "FileDescriptor.h"

#include <unistd.h>

#include <utility>

namespace GuestTools {

FileDescriptor::FileDescriptor(FileDescriptor &&other) noexcept
    : m_descriptor(std::exchange(other.m_descriptor, -1))
{
}

FileDescriptor &FileDescriptor::operator=(FileDescriptor &&other) noexcept
{
    if (this != &other) {
        reset();
        m_descriptor = std::exchange(other.m_descriptor, -1);
    }
    return *this;
}

FileDescriptor::~FileDescriptor()
{
    reset();
}

void FileDescriptor::reset()
{
    if (m_descriptor >= 0)
        ::close(std::exchange(m_descriptor, -1));
}

int FileDescriptor::release()
{
    return std::exchange(m_descriptor, -1);
}

} // namespace GuestTools
