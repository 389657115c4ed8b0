// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include <functional>

/**
 * A container registry on the loopback interface for tests: one HTTP/1.1
 * request per connection, answered by `respond` and closed. Every request
 * is kept, in order, with its target and headers (names in lower case).
 */
class FakeRegistry : public QObject
{
public:
    struct Request {
        QByteArray method;
        QUrl url;
        QMap<QByteArray, QByteArray> headers;
    };
    struct Response {
        int status = 200;
        QByteArray body;
    };
    using Responder = std::function<Response(const Request &)>;

    explicit FakeRegistry(Responder respond)
        : m_respond(std::move(respond))
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                serve(socket);
        });
    }

    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort())); }
    const QList<Request> &requests() const { return m_requests; }

private:
    void serve(QTcpSocket *socket)
    {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            m_buffers[socket] += socket->readAll();
            const QByteArray &buffer = m_buffers[socket];
            const qsizetype end = buffer.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QList<QByteArray> lines = buffer.left(end).split('\n');
            m_buffers.remove(socket);
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
            const Response response = m_respond(request);
            socket->write("HTTP/1.1 " + QByteArray::number(response.status) + " Answer\r\nContent-Type: application/octet-stream\r\nContent-Length: "
                          + QByteArray::number(response.body.size()) + "\r\nConnection: close\r\n\r\n" + response.body);
            socket->disconnectFromHost();
        });
    }

    Responder m_respond;
    QTcpServer m_server;
    QList<Request> m_requests;
    QMap<QTcpSocket *, QByteArray> m_buffers;
};
