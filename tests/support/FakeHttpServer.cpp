// SPDX-License-Identifier: MIT
#include "FakeHttpServer.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QTcpSocket>

#include <algorithm>
#include <limits>

namespace {

constexpr qint64 chunkSize = 256 * 1024;
constexpr qint64 socketBacklog = 1024 * 1024;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 206:
        return "Partial Content";
    case 304:
        return "Not Modified";
    case 404:
        return "Not Found";
    case 416:
        return "Range Not Satisfiable";
    case 500:
        return "Internal Server Error";
    default:
        return "Answer";
    }
}

} // namespace

struct FakeHttpServer::Connection {
    QTcpSocket *socket = nullptr;
    QByteArray buffer;
    bool answered = false;
    Response response{};
    std::unique_ptr<QFile> file;
    qint64 bodySent = 0;
    qint64 bodyLimit = 0;
    bool done = false;
};

FakeHttpServer::FakeHttpServer(Responder respond)
    : m_respond(std::move(respond))
{
    m_server.listen(QHostAddress::LocalHost);
    connect(&m_server, &QTcpServer::newConnection, this, &FakeHttpServer::accept);
}

FakeHttpServer::~FakeHttpServer()
{
    for (auto &[socket, connection] : m_connections) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}

QUrl FakeHttpServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
}

void FakeHttpServer::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        auto connection = std::make_unique<Connection>();
        connection->socket = socket;
        Connection &ref = *connection;
        m_connections.emplace(socket, std::move(connection));
        connect(socket, &QTcpSocket::readyRead, this, [this, &ref] { readRequest(ref); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, &ref] { pump(ref); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            const auto found = m_connections.find(socket);
            if (found == m_connections.end())
                return;
            socket->deleteLater();
            m_connections.erase(found);
        });
    }
}

void FakeHttpServer::readRequest(Connection &connection)
{
    connection.buffer += connection.socket->readAll();
    if (connection.answered)
        return;
    const qsizetype end = connection.buffer.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    connection.answered = true;
    const QList<QByteArray> lines = connection.buffer.left(end).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    Request request;
    request.method = requestLine.value(0);
    request.url = QUrl::fromEncoded(requestLine.value(1));
    for (qsizetype index = 1; index < lines.size(); ++index) {
        const qsizetype colon = lines[index].indexOf(':');
        if (colon > 0)
            request.headers.insert(lines[index].left(colon).trimmed().toLower(), lines[index].mid(colon + 1).trimmed());
    }
    m_requests.append(request);

    Response response = m_respond ? m_respond(request) : Response(404);
    const qint64 length = response.bodyLength();
    const qint64 announced = response.announcedLength.value_or(length);
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status) + "\r\n";
    head += "Content-Type: application/octet-stream\r\n";
    if (announced >= 0)
        head += "Content-Length: " + QByteArray::number(announced) + "\r\n";
    for (const auto &[name, value] : response.headers)
        head += name + ": " + value + "\r\n";
    head += "Connection: close\r\n\r\n";
    connection.socket->write(head);

    const qint64 sendable = response.endless ? std::numeric_limits<qint64>::max() : length;
    connection.bodyLimit = request.method == "HEAD" ? 0 : std::min(sendable, response.cutAfter.value_or(sendable));
    if (!response.filePath.isEmpty() && connection.bodyLimit > 0 && length > 0) {
        connection.file = std::make_unique<QFile>(response.filePath);
        if (!connection.file->open(QIODevice::ReadOnly) || !connection.file->seek(response.fileOffset))
            connection.bodyLimit = 0;
    }
    connection.response = std::move(response);
    pump(connection);
}

void FakeHttpServer::pump(Connection &connection)
{
    if (!connection.answered || connection.done)
        return;
    while (connection.bodySent < connection.bodyLimit && connection.socket->bytesToWrite() < socketBacklog) {
        const qint64 size = std::min(chunkSize, connection.bodyLimit - connection.bodySent);
        const qint64 bodyLeft = connection.response.bodyLength() - connection.bodySent;
        QByteArray chunk;
        if (bodyLeft <= 0)
            chunk = QByteArray(size, 'x'); // endless filler
        else if (connection.file)
            chunk = connection.file->read(std::min(size, bodyLeft));
        else
            chunk = connection.response.body.mid(connection.bodySent, std::min(size, bodyLeft));
        if (chunk.isEmpty()) {
            connection.bodyLimit = connection.bodySent;
            break;
        }
        connection.socket->write(chunk);
        connection.bodySent += chunk.size();
        m_bodyBytesSent += chunk.size();
    }
    if (connection.bodySent >= connection.bodyLimit)
        finish(connection);
}

void FakeHttpServer::finish(Connection &connection)
{
    connection.done = true;
    if (connection.response.stall)
        return;
    connection.socket->disconnectFromHost();
}

FakeHttpServer::Response FakeHttpServer::fileResponse(const Request &request, const QString &path, const QByteArray &etag)
{
    const qint64 size = QFileInfo(path).size();
    Response response(200);
    response.filePath = path;
    response.fileLength = size;
    if (!etag.isEmpty())
        response.withHeader("ETag", etag);
    response.withHeader("Accept-Ranges", "bytes");

    const QByteArray range = request.header("range");
    const QByteArray ifRange = request.header("if-range");
    if (range.startsWith("bytes=") && range.endsWith('-') && (ifRange.isEmpty() || ifRange == etag)) {
        bool ok = false;
        const qint64 start = range.mid(6, range.size() - 7).toLongLong(&ok);
        if (ok && start >= size) {
            Response refused(416);
            refused.withHeader("Content-Range", "bytes */" + QByteArray::number(size));
            return refused;
        }
        if (ok) {
            response.status = 206;
            response.fileOffset = start;
            response.fileLength = size - start;
            response.withHeader("Content-Range",
                                "bytes " + QByteArray::number(start) + '-' + QByteArray::number(size - 1) + '/' + QByteArray::number(size));
        }
    }
    return response;
}
