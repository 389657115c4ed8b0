// SPDX-License-Identifier: MIT
#include "SerialConsoleLog.h"

#include "CappedLogFile.h"
#include "PlatformError.h"

#include <QByteArray>
#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr qsizetype chunkSize = 64 * 1024;
/// Room for output that arrives while the reader is busy writing; the kernel may grant less.
constexpr int pipeCapacity = 1024 * 1024;

/**
 * Moves what the pipe holds into the log, at most about `budget` bytes, so a
 * guest that never stops printing cannot keep the reader from its stop
 * request. False once the pipe has no writer left (or fails).
 */
bool drain(int pipe, CappedLogFile &log, qint64 budget)
{
    QByteArray chunk(chunkSize, Qt::Uninitialized);
    while (budget > 0) {
        const ssize_t got = ::read(pipe, chunk.data(), size_t(chunk.size()));
        if (got > 0) {
            log.append(chunk.left(got));
            budget -= got;
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        return got < 0 && errno == EAGAIN;
    }
    return true;
}

void readUntilClosedOrStopped(int pipe, int stop, CappedLogFile log)
{
    for (;;) {
        pollfd watched[2] = {{pipe, POLLIN, 0}, {stop, POLLIN, 0}};
        if (::poll(watched, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (watched[1].revents != 0) {
            drain(pipe, log, pipeCapacity);
            return;
        }
        // Linux reports no hang-up on a pipe that has not had a writer yet, so this waits for QEMU to open it.
        if (watched[0].revents != 0 && !drain(pipe, log, pipeCapacity))
            return;
    }
}

} // namespace

SerialConsoleLog::SerialConsoleLog(const QString &pipePath, QString logPath, qint64 limit)
    : m_pipePath(pipePath)
{
    const QByteArray path = QFile::encodeName(pipePath);
    if (::mkfifo(path.constData(), 0600) != 0)
        throw PlatformError::posix(errno, pipePath);
    // Open before QEMU is started: a writer then finds a reader and never blocks in its open.
    m_pipe = FileDescriptor(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    int stop[2] = {-1, -1};
    if (!m_pipe.isValid() || ::pipe2(stop, O_CLOEXEC | O_NONBLOCK) != 0) {
        const int error = errno;
        ::unlink(path.constData());
        throw PlatformError::posix(error, pipePath);
    }
    m_stopRead = FileDescriptor(stop[0]);
    m_stopWrite = FileDescriptor(stop[1]);
    ::fcntl(m_pipe.get(), F_SETPIPE_SZ, pipeCapacity);
    m_reader = std::thread(readUntilClosedOrStopped, m_pipe.get(), m_stopRead.get(), CappedLogFile(std::move(logPath), limit));
}

SerialConsoleLog::~SerialConsoleLog()
{
    const char stop = 1;
    while (::write(m_stopWrite.get(), &stop, 1) < 0 && errno == EINTR) {
    }
    m_reader.join();
    ::unlink(QFile::encodeName(m_pipePath).constData());
}
