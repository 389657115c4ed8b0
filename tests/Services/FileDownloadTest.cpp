// SPDX-License-Identifier: MIT
#include "FileDownload.h"

#include "FakeHttpServer.h"
#include "TaskOutcome.h"
#include "TemporaryHome.h"
#include "TestFiles.h"

#include <QFile>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <linux/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace {

using Response = FakeHttpServer::Response;
using Stop = FileDownload::Stop;
using Ending = FileDownload::Ending;

constexpr qint64 mebibyte = 1024 * 1024;

Response stalledAfter(QByteArray body, qint64 sent)
{
    Response response(200, std::move(body));
    response.cutAfter = sent;
    response.stall = true;
    return response;
}

TEST(FileDownload, WritesTheBodyWhereTheAnswerSaysItStartsAndStopsForEachReason)
{
    const QByteArray body = "the rest of the file";
    const QByteArray endless(mebibyte, 'x');
    const struct {
        const char *what;
        Response response;
        QByteArray before; // what the file holds already
        std::optional<qint64> start; // the check's answer
        quint64 freeBeyondReserve;
        bool cancelAfterFirstChunk;
        Stop stop;
        QByteArray after;
    } cases[] = {
        {"a fresh body replaces the file", Response(200, body), "stale", 0, mebibyte, false, Stop::none, body},
        {"a resumed body is appended", Response(206, body), "12345", 5, mebibyte, false, Stop::none, "12345" + body},
        {"a refused answer leaves the file alone", Response(500, body), "12345", std::nullopt, mebibyte, false, Stop::refused, "12345"},
        {"a body the disk cannot hold stops while the reserve is free", Response(200, endless), "", 0, 0, false, Stop::outOfSpace, ""},
        {"cancel keeps what arrived", stalledAfter(body, 4), "", 0, mebibyte, true, Stop::cancelled, body.left(4)},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        const TemporaryHome home;
        const QString path = home.path() + QStringLiteral("/download.part");
        TestFiles::write(path, testCase.before);
        FakeHttpServer server([&](const FakeHttpServer::Request &) { return testCase.response; });
        int judged = 0;
        QByteArray seen;
        std::optional<FileDownload> transfer;
        transfer.emplace(
            FileDownload::Request{server.url(QStringLiteral("/file"))}, path,
            DownloadSpace(home.path(), [&](const QString &) { return DownloadSpace::reserve + testCase.freeBeyondReserve; }),
            [&](const HttpAnswer &) {
                ++judged;
                return testCase.start;
            },
            [&](QByteArrayView chunk) {
                seen += chunk;
                if (testCase.cancelAfterFirstChunk)
                    transfer->cancel();
            },
            qint64(testCase.before.size()));
        EXPECT_EQ(transfer->received(), testCase.before.size()) << "the offset asked for counts until the answer says otherwise";

        waitForOutcome(transfer->run()).get();
        EXPECT_EQ(transfer->stop(), testCase.stop);
        EXPECT_EQ(transfer->ending(), testCase.stop == Stop::none ? Ending::complete : Ending::stopped);
        EXPECT_EQ(judged, 1);
        EXPECT_EQ(TestFiles::read(path), testCase.after);
        EXPECT_EQ(seen, testCase.start ? testCase.after.mid(*testCase.start) : QByteArray());
        EXPECT_EQ(transfer->received(), testCase.start ? testCase.after.size() : testCase.before.size());
    }
}

TEST(FileDownload, AFileThatCannotBeOpenedStopsTheTransferWithItsReason)
{
    const TemporaryHome home;
    FakeHttpServer server([](const FakeHttpServer::Request &) { return Response(200, "body"); });
    FileDownload transfer({server.url(QStringLiteral("/file"))}, home.path() + QStringLiteral("/missing folder/download.part"),
                          DownloadSpace(home.path()), [](const HttpAnswer &) { return std::optional<qint64>(0); });
    waitForOutcome(transfer.run()).get();
    EXPECT_EQ(transfer.stop(), Stop::writeFailed);
    EXPECT_FALSE(transfer.errorString().isEmpty());
    EXPECT_EQ(transfer.written(), 0);
}

TEST(FileDownload, RedirectsAreFollowedAndOnlyTheFinalAnswerIsJudged)
{
    const TemporaryHome home;
    const QString path = home.path() + QStringLiteral("/download.part");
    FakeHttpServer server;
    server.setResponder([&](const FakeHttpServer::Request &request) {
        if (request.url.path() == QStringLiteral("/moved"))
            return Response(302, "the redirect's own body").withHeader("Location", server.url(QStringLiteral("/file")).toEncoded());
        return Response(200, "the file");
    });
    QList<int> judged;
    FileDownload transfer({server.url(QStringLiteral("/moved"))}, path, DownloadSpace(home.path()), [&](const HttpAnswer &answer) {
        judged << answer.status;
        return std::optional<qint64>(0);
    });
    waitForOutcome(transfer.run()).get();
    EXPECT_EQ(transfer.ending(), Ending::complete);
    EXPECT_EQ(judged, QList<int>{200});
    EXPECT_EQ(TestFiles::read(path), "the file");
}

/// `size` bytes of the body the slow-writer test serves, from `offset`.
QByteArray bodyBytes(qint64 offset, qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 index = 0; index < size; ++index)
        bytes[index] = char(((offset + index) * 7919) % 251);
    return bytes;
}

/**
 * Answers one GET with a Content-Length above what it sends: `length` body
 * bytes, then it closes. It writes without blocking, so it can tell when the
 * client takes no more: its writes are refused and the client's receive
 * window is closed (zero), which happens only once the client's socket
 * buffer is full, that is when the client stopped reading.
 */
class CuttingServer
{
public:
    explicit CuttingServer(qint64 length)
        : m_length(length)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), size) != 0 || ::listen(m_listener, 1) != 0
            || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &size) != 0)
            ADD_FAILURE() << "no loopback socket";
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~CuttingServer()
    {
        ::shutdown(m_listener, SHUT_RDWR);
        m_thread.join();
        ::close(m_listener);
    }

    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/image").arg(m_port)); }

    struct State {
        qint64 sent = 0;
        bool heldBack = false;
        bool closed = false;
    };

    /// Called while the client reads nothing: waits until the server is held back by the client or has sent everything and closed.
    State waitUntilHeldBackOrClosed()
    {
        std::unique_lock lock(m_mutex);
        m_state.heldBack = false;
        m_waitingForClient = true;
        m_changed.wait(lock, [this] { return m_state.heldBack || m_state.closed; });
        m_waitingForClient = false;
        return m_state;
    }

    qint64 sent() const
    {
        const std::lock_guard lock(m_mutex);
        return m_state.sent;
    }

private:
    void serve()
    {
        const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            return;
        const int small = 64 * 1024;
        ::setsockopt(connection, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
        QByteArray request;
        char buffer[4096];
        while (!request.contains("\r\n\r\n")) {
            const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            request.append(buffer, got);
        }
        const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(m_length + mebibyte) + "\r\nConnection: close\r\n\r\n";
        sendAll(connection, head, false);
        constexpr qint64 chunkSize = 256 * 1024;
        for (qint64 offset = 0; offset < m_length; offset += chunkSize)
            sendAll(connection, bodyBytes(offset, std::min(chunkSize, m_length - offset)), true);
        ::close(connection);
        const std::lock_guard lock(m_mutex);
        m_state.closed = true;
        m_changed.notify_all();
    }

    static bool isWindowClosed(int connection)
    {
        tcp_info info{};
        socklen_t size = sizeof info;
        return ::getsockopt(connection, IPPROTO_TCP, TCP_INFO, &info, &size) == 0 && info.tcpi_snd_wnd == 0;
    }

    void sendAll(int connection, const QByteArray &bytes, bool body)
    {
        const char *data = bytes.constData();
        qint64 size = bytes.size();
        while (size > 0) {
            const ssize_t done = ::send(connection, data, size_t(size), MSG_DONTWAIT | MSG_NOSIGNAL);
            if (done < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                // The window closes when the client's acknowledgement says so, which no event here tells: look again now and then.
                pollfd writable{connection, POLLOUT, 0};
                while (::poll(&writable, 1, 10) == 0)
                    noteHeldBack(connection);
                continue;
            }
            if (done < 0 && errno == EINTR)
                continue;
            if (done <= 0)
                return;
            data += done;
            size -= done;
            if (body) {
                const std::lock_guard lock(m_mutex);
                m_state.sent += done;
            }
        }
    }

    void noteHeldBack(int connection)
    {
        const std::lock_guard lock(m_mutex);
        if (m_waitingForClient && !m_state.heldBack && isWindowClosed(connection)) {
            m_state.heldBack = true;
            m_changed.notify_all();
        }
    }

    const qint64 m_length;
    int m_listener = -1;
    quint16 m_port = 0;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_waitingForClient = false;
    State m_state;
    std::thread m_thread;
};

TEST(FileDownload, ASlowWriterHoldsTheServerBackAndABreakLosesNoByteThatArrived)
{
    // Far more than the kernel's socket buffers on both ends may hold (tcp_rmem and tcp_wmem allow tens of MiB), so that a
    // download that kept reading while its writer is stuck would take the body into memory instead of holding the server back.
    const qint64 length = 64 * mebibyte;
    const qint64 allowedInFlight = 40 * mebibyte;
    // Near the end the writer is stuck at every chunk until the server can send no more or has hung up: so the hang-up comes
    // while bytes the server sent are still on their way to the file.
    const qint64 tail = mebibyte;
    const TemporaryHome home;
    const QString path = home.path() + QStringLiteral("/download.part");
    CuttingServer server(length);
    std::optional<CuttingServer::State> firstStuck;
    qint64 writtenWhenStuck = 0;
    bool hungUpWhileStuck = false;
    qint64 handed = 0;
    FileDownload transfer({server.url()}, path, DownloadSpace(home.path()), [](const HttpAnswer &) { return std::optional<qint64>(0); },
                          [&](QByteArrayView chunk) {
                              handed += chunk.size();
                              if (!firstStuck) {
                                  writtenWhenStuck = handed;
                                  firstStuck = server.waitUntilHeldBackOrClosed();
                              } else if (handed >= length - tail && !hungUpWhileStuck) {
                                  hungUpWhileStuck = server.waitUntilHeldBackOrClosed().closed;
                              }
                          });
    waitForOutcome(transfer.run()).get();

    ASSERT_TRUE(firstStuck);
    EXPECT_TRUE(firstStuck->heldBack) << "the server sent the whole body while the writer was stuck";
    EXPECT_LE(firstStuck->sent - writtenWhenStuck, allowedInFlight);
    EXPECT_TRUE(hungUpWhileStuck);
    EXPECT_EQ(transfer.stop(), Stop::none);
    EXPECT_EQ(transfer.ending(), Ending::broken) << "the server announced more than it sent";
    EXPECT_EQ(server.sent(), length);
    EXPECT_EQ(transfer.received(), length);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    ASSERT_EQ(file.size(), length);
    for (qint64 offset = 0; offset < length; offset += mebibyte)
        ASSERT_EQ(file.read(mebibyte), bodyBytes(offset, mebibyte)) << "in the MiB from " << offset;
}

} // namespace
