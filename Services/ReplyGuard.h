// SPDX-License-Identifier: MIT
#pragma once

#include <QNetworkReply>
#include <QPointer>

/**
 * Owns one network reply for the scope of a request: aborts it and deletes
 * it later when the scope ends, unless its manager has deleted it already.
 *
 * @code
 * const ReplyGuard reply(network.get(request));
 * co_await NetworkReplies::waitForReply(reply.get(), 30s);
 * @endcode
 */
class ReplyGuard
{
public:
    explicit ReplyGuard(QNetworkReply *reply)
        : m_reply(reply)
    {
    }
    ~ReplyGuard()
    {
        if (m_reply) {
            m_reply->abort();
            m_reply->deleteLater();
        }
    }
    ReplyGuard(const ReplyGuard &) = delete;
    ReplyGuard &operator=(const ReplyGuard &) = delete;

    QNetworkReply *get() const { return m_reply; }

private:
    QPointer<QNetworkReply> m_reply;
};
