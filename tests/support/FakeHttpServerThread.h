// SPDX-License-Identifier: MIT
#pragma once

#include "FakeHttpServer.h"

#include <QList>
#include <QObject>
#include <QThread>

#include <memory>

/**
 * A FakeHttpServer on a thread of its own, so that its socket is written
 * while the client reads and a cut reaches the client as it would over a
 * network, not in step with the client's event loop. The responder runs on
 * the server's thread. What the server recorded is had from stop().
 */
class FakeHttpServerThread
{
public:
    explicit FakeHttpServerThread(FakeHttpServer::Responder respond)
    {
        m_thread.start();
        m_anchor.moveToThread(&m_thread);
        QMetaObject::invokeMethod(
            &m_anchor, [&] { m_server = std::make_unique<FakeHttpServer>(std::move(respond)); }, Qt::BlockingQueuedConnection);
        m_url = m_server->url();
    }
    ~FakeHttpServerThread() { stop(); }
    FakeHttpServerThread(const FakeHttpServerThread &) = delete;
    FakeHttpServerThread &operator=(const FakeHttpServerThread &) = delete;

    /// http://127.0.0.1:<port> followed by `path`; any thread.
    QUrl url(const QString &path) const { return QUrl(m_url.toString() + path); }

    /// What the server recorded, taken when its thread ends.
    struct Record {
        QList<FakeHttpServer::Request> requests;
        qint64 bodyBytesSent = 0;
    };

    /// Ends the server and its thread; any thread but the server's.
    Record stop()
    {
        if (m_thread.isRunning()) {
            QMetaObject::invokeMethod(
                &m_anchor,
                [this] {
                    m_record = { m_server->requests(), m_server->bodyBytesSent() };
                    m_server.reset();
                },
                Qt::BlockingQueuedConnection);
            m_thread.quit();
            m_thread.wait();
        }
        return m_record;
    }

private:
    QThread m_thread;
    QObject m_anchor;
    std::unique_ptr<FakeHttpServer> m_server;
    QUrl m_url;
    Record m_record;
};
