// SPDX-License-Identifier: MIT
#include "RfbSocket.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

/// Large enough to take a burst of small messages in one call; reads of more go to their destination directly.
constexpr qsizetype bufferSize = 256 * 1024;
constexpr qsizetype directReadThreshold = 64 * 1024;

QString text(const char *sentence) { return QCoreApplication::translate("RfbConnection", sentence); }

RfbSocket::Ended failure(int error)
{
    if (error == ECONNRESET || error == EPIPE)
        return { text("The guest display closed the connection."), true };
    return { text("The guest display could not be reached: %1").arg(QString::fromLocal8Bit(std::strerror(error))) };
}

} // namespace

RfbSocket::RfbSocket(int descriptor, std::chrono::milliseconds silenceLimit)
    : m_socket(descriptor)
    , m_silenceLimit(silenceLimit)
    , m_buffer(bufferSize)
{
    ::fcntl(m_socket, F_SETFL, ::fcntl(m_socket, F_GETFL) | O_NONBLOCK);
    if (::pipe2(m_wake, O_NONBLOCK | O_CLOEXEC) != 0)
        m_wake[0] = m_wake[1] = -1;
}

RfbSocket::~RfbSocket()
{
    ::close(m_socket);
    for (const int end : m_wake)
        if (end >= 0)
            ::close(end);
}

void RfbSocket::send(const QByteArray &bytes)
{
    {
        const QMutexLocker lock(&m_outgoingMutex);
        m_outgoing += bytes;
    }
    m_pendingOutgoing.store(true, std::memory_order_release);
    const char wake = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(m_wake[1], &wake, 1); // a full pipe already wakes the reader
}

void RfbSocket::stop()
{
    m_stopped.store(true, std::memory_order_release);
    const char wake = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(m_wake[1], &wake, 1);
}

void RfbSocket::sendQueued()
{
    if (m_pendingOutgoing.exchange(false, std::memory_order_acquire)) {
        const QMutexLocker lock(&m_outgoingMutex);
        m_sending += m_outgoing;
        m_outgoing.clear();
    }
    while (!m_sending.isEmpty()) {
        const ssize_t sent = ::send(m_socket, m_sending.constData(), size_t(m_sending.size()), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                m_sending.clear(); // the reads will tell why
            return;
        }
        m_sending.remove(0, sent);
    }
}

void RfbSocket::waitForInput()
{
    // Waking up to send keys is no sign of life from the server: the deadline holds across the whole wait.
    const QDeadlineTimer deadline = m_betweenMessages ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(m_silenceLimit);
    for (;;) {
        sendQueued();
        if (m_stopped.load(std::memory_order_acquire))
            throw Ended {};
        if (deadline.hasExpired())
            throw Ended { text("The guest display stopped responding.") };
        const qint64 remaining = deadline.remainingTime();
        const int timeout = remaining < 0 ? -1 : int(std::min<qint64>(remaining, std::numeric_limits<int>::max()));
        std::array<pollfd, 2> watched { { { m_socket, short(POLLIN | (m_sending.isEmpty() ? 0 : POLLOUT)), 0 }, { m_wake[0], POLLIN, 0 } } };
        if (::poll(watched.data(), watched.size(), timeout) < 0) {
            if (errno == EINTR)
                continue;
            throw failure(errno);
        }
        if (watched[1].revents & POLLIN) {
            std::array<char, 64> drained {};
            while (::read(m_wake[0], drained.data(), drained.size()) > 0) { }
        }
        if (watched[0].revents & (POLLIN | POLLHUP | POLLERR))
            return;
    }
}

void RfbSocket::fill()
{
    if (m_begin == m_end)
        m_begin = m_end = 0;
    else if (m_end == qsizetype(m_buffer.size())) {
        std::memmove(m_buffer.data(), m_buffer.data() + m_begin, size_t(buffered()));
        m_end -= m_begin;
        m_begin = 0;
    }
    receive(m_buffer.data() + m_end, qsizetype(m_buffer.size()) - m_end);
}

void RfbSocket::receive(char *destination, qsizetype length)
{
    const bool intoBuffer = destination == m_buffer.data() + m_end;
    qsizetype done = 0;
    if (!intoBuffer && buffered() > 0) {
        done = std::min(length, buffered());
        std::memcpy(destination, m_buffer.data() + m_begin, size_t(done));
        m_begin += done;
    }
    while (done < length) {
        if (m_stopped.load(std::memory_order_acquire))
            throw Ended {};
        if (m_pendingOutgoing.load(std::memory_order_relaxed) || !m_sending.isEmpty())
            sendQueued();
        const ssize_t count = ::recv(m_socket, destination + done, size_t(length - done), 0);
        if (count > 0) {
            done += count;
            if (intoBuffer) {
                m_end += count;
                return; // the buffer takes what there is
            }
            continue;
        }
        if (count == 0)
            throw Ended { text("The guest display closed the connection."), true };
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            throw failure(errno);
        waitForInput();
    }
}

void RfbSocket::read(char *destination, qsizetype length)
{
    if (length >= directReadThreshold) {
        receive(destination, length);
        return;
    }
    while (buffered() < length)
        fill();
    std::memcpy(destination, m_buffer.data() + m_begin, size_t(length));
    m_begin += length;
}

quint8 RfbSocket::messageStart()
{
    m_betweenMessages = true;
    const quint8 first = u8(); // an exception ends the session, so the flag needs no resetting then
    m_betweenMessages = false;
    return first;
}

quint8 RfbSocket::u8()
{
    char byte = 0;
    read(&byte, 1);
    return quint8(byte);
}

quint16 RfbSocket::u16()
{
    std::array<char, 2> raw {};
    read(raw.data(), raw.size());
    return qFromBigEndian<quint16>(raw.data());
}

quint32 RfbSocket::u32()
{
    std::array<char, 4> raw {};
    read(raw.data(), raw.size());
    return qFromBigEndian<quint32>(raw.data());
}

QByteArray RfbSocket::bytes(qsizetype length)
{
    QByteArray result(length, Qt::Uninitialized);
    read(result.data(), length);
    return result;
}

void RfbSocket::skip(qint64 length)
{
    while (length > 0) {
        if (buffered() == 0)
            fill();
        const qsizetype chunk = qsizetype(std::min<qint64>(length, buffered()));
        m_begin += chunk;
        length -= chunk;
    }
}
