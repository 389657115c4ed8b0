// SPDX-License-Identifier: MIT
#include "SerialConsoleLog.h"

#include "PlatformError.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <optional>

namespace {

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// The writing end, as QEMU opens its log file.
int openAsQemuDoes(const QString &pipe)
{
    return ::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
}

void writeAll(int descriptor, const QByteArray &data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t written = ::write(descriptor, data.constData() + done, size_t(data.size() - done));
        ASSERT_GT(written, 0);
        done += written;
    }
}

class SerialConsoleLogTest : public ::testing::Test
{
protected:
    QString pipe() const { return m_folder.filePath(QStringLiteral("serial.log")); }
    QString log() const { return m_folder.filePath(QStringLiteral("console.log")); }

    QTemporaryDir m_folder;
};

TEST_F(SerialConsoleLogTest, AGuestPrintingWithoutEndKeepsItsNewestOutputWithinTheCap)
{
    constexpr qint64 limit = 64 * 1024;
    std::optional<SerialConsoleLog> console(std::in_place, pipe(), log(), limit);
    EXPECT_EQ(console->pipePath(), pipe());
    const int qemu = openAsQemuDoes(pipe());
    ASSERT_GE(qemu, 0);
    // Far more than the pipe holds, so it is read while it is written.
    QByteArray printed;
    for (int line = 0; printed.size() < 3 * 1024 * 1024; ++line)
        printed += "boot line " + QByteArray::number(line) + '\n';
    writeAll(qemu, printed);
    writeAll(qemu, "last words\n");
    ::close(qemu);
    console.reset();

    const QByteArray kept = contentOf(log());
    const QByteArray before = contentOf(log() + QStringLiteral(".1"));
    EXPECT_LE(kept.size(), limit);
    EXPECT_LE(before.size(), limit);
    const QByteArray everything = printed + "last words\n";
    EXPECT_TRUE(everything.endsWith(kept)) << kept.right(100).toStdString();
    EXPECT_GT(kept.size(), 0);
    EXPECT_TRUE(everything.contains(before)) << "the output before it, moved aside";
    EXPECT_FALSE(QFileInfo::exists(pipe()));
}

TEST_F(SerialConsoleLogTest, WhatIsStillInThePipeIsWrittenOutWhenTheRunEnds)
{
    std::optional<SerialConsoleLog> console(std::in_place, pipe(), log());
    const int qemu = openAsQemuDoes(pipe());
    ASSERT_GE(qemu, 0);
    writeAll(qemu, "Shell> ");
    // The writer is still open: only the end of the run makes the reader finish.
    console.reset();
    ::close(qemu);
    EXPECT_EQ(contentOf(log()), QByteArray("Shell> "));

    // A run whose QEMU never opened the pipe ends at once and leaves no log.
    std::optional<SerialConsoleLog> unused(std::in_place, pipe(), m_folder.filePath(QStringLiteral("unused.log")));
    unused.reset();
    EXPECT_FALSE(QFileInfo::exists(m_folder.filePath(QStringLiteral("unused.log"))));

    // Something in the pipe's place is refused rather than read or replaced.
    QFile planted(pipe());
    ASSERT_TRUE(planted.open(QIODevice::WriteOnly));
    planted.close();
    EXPECT_THROW(SerialConsoleLog(pipe(), log()), PlatformError);
}

} // namespace
