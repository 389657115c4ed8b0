// SPDX-License-Identifier: MIT
#pragma once

namespace GuestTools {

/// Owns one POSIX file descriptor and closes it when it goes; -1 means none.
class FileDescriptor
{
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int descriptor)
        : m_descriptor(descriptor)
    {
    }
    FileDescriptor(FileDescriptor &&other) noexcept;
    FileDescriptor &operator=(FileDescriptor &&other) noexcept;
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    ~FileDescriptor();

    int get() const { return m_descriptor; }
    bool isOpen() const { return m_descriptor >= 0; }
    /// Closes now; later calls do nothing.
    void reset();
    /// Gives up ownership without closing, for an object that closes the descriptor itself.
    [[nodiscard]] int release();

private:
    int m_descriptor = -1;
};

} // namespace GuestTools
