// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <utility>

namespace SparseTestFile {

/// Writes a sparse file of `length` bytes whose only data are the `chunks` at their offsets.
inline void write(const QString &file, off_t length, const QList<std::pair<off_t, QByteArray>> &chunks)
{
    const int descriptor = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(descriptor, 0) << file.toStdString();
    EXPECT_EQ(::ftruncate(descriptor, length), 0);
    for (const auto &[offset, bytes] : chunks)
        EXPECT_EQ(::pwrite(descriptor, bytes.constData(), size_t(bytes.size()), offset), bytes.size());
    ::close(descriptor);
}

} // namespace SparseTestFile
