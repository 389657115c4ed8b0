// SPDX-License-Identifier: MIT
#pragma once

#include "StandInRfbServer.h"

#include <QByteArray>
#include <QFile>
#include <QSize>
#include <QString>
#include <QtEndian>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

/**
 * The pieces of the display benches' stand-in VNC server, which runs in a
 * process of its own on blocking unix sockets so that it takes nothing from
 * the client's CPU time and never waits on the client's event loop.
 */
namespace ForkedRfbServer {

/// Reads exactly `length` bytes; false when the peer is gone.
inline bool readAll(int socket, char *data, std::size_t length)
{
    while (length > 0) {
        const ssize_t count = ::recv(socket, data, length, 0);
        if (count <= 0)
            return false;
        data += count;
        length -= std::size_t(count);
    }
    return true;
}

/// Writes all of `bytes`; false when the peer is gone.
inline bool writeAll(int socket, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    std::size_t length = std::size_t(bytes.size());
    while (length > 0) {
        const ssize_t count = ::send(socket, data, length, MSG_NOSIGNAL);
        if (count <= 0)
            return false;
        data += count;
        length -= std::size_t(count);
    }
    return true;
}

inline sockaddr_un unixAddress(const QString &path)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
    return address;
}

/// The server process as its parent sees it.
struct Process {
    pid_t pid = -1;
    /// The end of the pipe on which the server reports.
    int report = -1;
    /// Frames sent to the current client so far, kept up to date by the server as it sends them.
    const std::atomic<quint64> *framesSent = nullptr;
};

/// Shared with the server process (set up by start()), so that the parent can follow a client while it runs.
inline std::atomic<quint64> *sharedFramesSent = nullptr;

/**
 * Listens at `path` and forks the server process, which runs
 * `serve(listener, report)` with the pipe end it reports on; none, with the
 * reason on stderr, when the socket or the pipe cannot be made. Fork before
 * the application starts any thread.
 */
template <typename Serve>
std::optional<Process> start(const QString &path, Serve serve)
{
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un address = unixAddress(path);
    std::array<int, 2> report {};
    if (::bind(listener, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 || ::listen(listener, 4) != 0
        || ::pipe(report.data()) != 0) {
        std::fprintf(stderr, "cannot listen: %s\n", std::strerror(errno));
        return std::nullopt;
    }
    void *shared = ::mmap(nullptr, sizeof(std::atomic<quint64>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED) {
        std::fprintf(stderr, "cannot share the frame count: %s\n", std::strerror(errno));
        return std::nullopt;
    }
    sharedFramesSent = new (shared) std::atomic<quint64>(0);
    const pid_t pid = ::fork();
    if (pid == 0)
        serve(listener, report[1]);
    ::close(listener);
    return Process { pid, report[0], sharedFramesSent };
}

/// RFB 3.8 with security None up to the ServerInit of a framebuffer of `size` in 32-bit true colour; false when the client left.
inline bool greet(int client, QSize size)
{
    std::array<char, 12> scratch {};
    const QByteArray format("\x20\x18\x00\x01\x00\xff\x00\xff\x00\xff\x10\x08\x00\x00\x00\x00", 16);
    return writeAll(client, "RFB 003.008\n") && readAll(client, scratch.data(), 12) && writeAll(client, QByteArray("\x01\x01", 2))
        && readAll(client, scratch.data(), 1) && writeAll(client, StandInRfbServer::u32(0)) && readAll(client, scratch.data(), 1)
        && writeAll(client,
            StandInRfbServer::u16(quint16(size.width())) + StandInRfbServer::u16(quint16(size.height())) + format + StandInRfbServer::u32(5)
                + "bench");
}

/// The clipboard message, which a standard viewer may send at any time.
constexpr quint8 clientCutText = 6;

/// Reads the rest of a client message of `type` that needs no answer; false when the type is not one of those or the client left.
inline bool skipMessage(int client, quint8 type)
{
    std::array<char, 19> scratch {};
    switch (type) {
    case StandInRfbServer::setPixelFormat:
        return readAll(client, scratch.data(), 19);
    case StandInRfbServer::setEncodings: {
        if (!readAll(client, scratch.data(), 3))
            return false;
        std::vector<char> list(4 * std::size_t(qFromBigEndian<quint16>(scratch.data() + 1)));
        return readAll(client, list.data(), list.size());
    }
    case StandInRfbServer::keyEvent:
        return readAll(client, scratch.data(), 7);
    case StandInRfbServer::pointerEvent:
        return readAll(client, scratch.data(), 5);
    case StandInRfbServer::qemuMessage:
        return readAll(client, scratch.data(), 11);
    case clientCutText: {
        if (!readAll(client, scratch.data(), 7))
            return false;
        std::vector<char> text(qFromBigEndian<quint32>(scratch.data() + 3));
        return text.size() <= 1024 * 1024 && readAll(client, text.data(), text.size());
    }
    default:
        return false;
    }
}

/**
 * The server process's work: greets `clients` clients one after another with
 * a framebuffer of `size` and answers each update request of the i-th client
 * through `answerFor(i)`, a callable (int socket, quint64 &framesSent) that
 * sends its answer, counts the frames it sent, and returns false when the
 * client left. Reports the frames sent to each client on `report`; then ends
 * the process.
 */
template <typename AnswerFor>
[[noreturn]] void serve(int listener, int report, std::size_t clients, QSize size, AnswerFor answerFor)
{
    for (std::size_t index = 0; index < clients; ++index) {
        auto answer = answerFor(index);
        const int client = ::accept(listener, nullptr, nullptr);
        std::array<char, 9> scratch {};
        quint64 sent = 0;
        sharedFramesSent->store(0);
        bool open = greet(client, size);
        while (open && readAll(client, scratch.data(), 1)) {
            const auto type = quint8(scratch[0]);
            if (type == StandInRfbServer::updateRequest) {
                open = readAll(client, scratch.data(), 9) && answer(client, sent);
                sharedFramesSent->store(sent);
            } else {
                open = skipMessage(client, type);
            }
        }
        ::close(client);
        sharedFramesSent->store(0); // before the report, so that the next client starts from nothing
        [[maybe_unused]] const ssize_t written = ::write(report, &sent, sizeof sent);
    }
    ::_exit(0);
}

} // namespace ForkedRfbServer
