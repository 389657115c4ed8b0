// SPDX-License-Identifier: MIT
#pragma once

#include <utility>

/// Owns one POSIX file descriptor and closes it when it goes out of scope.
class FileDescriptor
{
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int descriptor)
        : m_descriptor(descriptor)
    {
    }
    FileDescriptor(FileDescriptor &&other) noexcept
        : m_descriptor(std::exchange(other.m_descriptor, -1))
    {
    }
    FileDescriptor &operator=(FileDescriptor &&other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.m_descriptor, -1));
        return *this;
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    ~FileDescriptor() { reset(); }

    bool isValid() const { return m_descriptor >= 0; }
    int get() const { return m_descriptor; }
    void reset(int descriptor = -1);

private:
    int m_descriptor = -1;
};
