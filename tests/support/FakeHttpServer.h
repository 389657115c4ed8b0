// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QUrl>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>

class QTcpSocket;

/**
 * An HTTP/1.1 server on the loopback interface for tests: one request per
 * connection, answered by the responder and closed. Every request is kept,
 * in order, with its target and headers (names in lower case).
 *
 * A response carries its body in memory or names a slice of a file, which is
 * streamed in small chunks so that a test may serve gigabytes. It can also
 * misbehave: cut the body short after some bytes, stall after them with
 * the connection left open, send more than the length it announced, or never
 * end. fileResponse() answers like a static file server
 * with ETag, HEAD, Range and If-Range.
 *
 * @code
 * FakeHttpServer server([&](const FakeHttpServer::Request &request) {
 *     return FakeHttpServer::fileResponse(request, imagePath, "\"v1\"");
 * });
 * download(server.url(QStringLiteral("/image.ipsw")));
 * @endcode
 */
class FakeHttpServer : public QObject
{
public:
    struct Request {
        QByteArray method;
        QUrl url;
        QMap<QByteArray, QByteArray> headers;

        QByteArray header(const QByteArray &lowerCaseName) const { return headers.value(lowerCaseName); }
    };

    class Response
    {
    public:
        Response(int status = 200, QByteArray body = {})
            : status(status)
            , body(std::move(body))
        {
        }

        int status;
        QByteArray body;
        /// Streamed instead of `body` when set: `length` bytes of the file from `offset`.
        QString filePath;
        qint64 fileOffset = 0;
        qint64 fileLength = 0;
        QList<std::pair<QByteArray, QByteArray>> headers;
        /// The Content-Length announced; by default the body's length. Negative: none is sent.
        std::optional<qint64> announcedLength;
        /// Send at most this many body bytes, then close (or stall).
        std::optional<qint64> cutAfter;
        /// After the bytes sent, keep the connection open and send nothing more.
        bool stall = false;
        /// After the body, send filler bytes without end, until the client hangs up; `cutAfter` and `stall` still apply.
        bool endless = false;

        Response &withHeader(QByteArray name, QByteArray value)
        {
            headers.append({std::move(name), std::move(value)});
            return *this;
        }
        qint64 bodyLength() const { return filePath.isEmpty() ? body.size() : fileLength; }
    };

    using Responder = std::function<Response(const Request &)>;

    explicit FakeHttpServer(Responder respond = {});
    ~FakeHttpServer() override;

    void setResponder(Responder respond) { m_respond = std::move(respond); }

    /// http://127.0.0.1:<port> followed by `path`.
    QUrl url(const QString &path = {}) const;
    const QList<Request> &requests() const { return m_requests; }
    /// Body bytes written to clients so far, over every response.
    qint64 bodyBytesSent() const { return m_bodyBytesSent; }

    /// The file as a static server gives it: 200 with the whole file, 206 for "Range: bytes=N-" (unless If-Range names another ETag), 416 past the end, no body for HEAD.
    static Response fileResponse(const Request &request, const QString &path, const QByteArray &etag);

private:
    struct Connection;

    void accept();
    void readRequest(Connection &connection);
    void pump(Connection &connection);
    void finish(Connection &connection);

    Responder m_respond;
    QTcpServer m_server;
    QList<Request> m_requests;
    std::map<QTcpSocket *, std::unique_ptr<Connection>> m_connections;
    qint64 m_bodyBytesSent = 0;
};
