// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>

/**
 * Collects in memory the body of a reply that must stay small (a feed, a
 * token), and never holds more than `cap` bytes of it. The reply's own read
 * buffer is bounded, so the network layer stops taking data from the socket
 * until the body is read, rather than queueing whatever the server sends;
 * and the reply is aborted as soon as its announced length, or the bytes
 * that have arrived, pass the cap. Attach it before the event loop runs,
 * right after the request is sent, and wait with
 * NetworkReplies::waitForReplyOrError(): with a bounded buffer some failures
 * never finish the reply. GUI thread.
 *
 * @code
 * const ReplyGuard reply(network.get(request));
 * CappedReplyBody body(reply.get(), 64 * 1024);
 * co_await NetworkReplies::waitForReplyOrError(reply.get(), 30s);
 * if (body.isTooLarge())
 *     throw ...;
 * const QByteArray data = body.take();
 * @endcode
 */
class CappedReplyBody
{
public:
    CappedReplyBody(QNetworkReply *reply, qint64 cap);
    CappedReplyBody(const CappedReplyBody &) = delete;
    CappedReplyBody &operator=(const CappedReplyBody &) = delete;

    /// True once the body was refused for passing the cap; the reply is aborted then.
    bool isTooLarge() const { return m_tooLarge; }
    /// Bytes held so far.
    qint64 size() const { return m_body.size(); }
    /// The body, with whatever the reply still holds; empty after a refusal.
    QByteArray take();

private:
    void checkAnnouncedLength();
    void readAvailable();
    void refuse();

    QPointer<QNetworkReply> m_reply;
    qint64 m_cap;
    QByteArray m_body;
    bool m_tooLarge = false;
    /// Ends the connections to the reply with this object.
    QObject m_receiver;
};
