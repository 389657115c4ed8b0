// SPDX-License-Identifier: MIT
#pragma once

#include <QNetworkReply>
#include <QPointer>

/**
 * Owns one network reply for the scope of a request: aborts it and deletes
 * it later when the scope ends, unless its manager has deleted it already.
 * A reply that failed but did not finish is only deleted, which stops it.
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
        if (!m_reply)
            return;
        // A reply that reported an error is stopped by its deletion; aborting it would report a second error.
        if (m_reply->error() == QNetworkReply::NoError)
            m_reply->abort();
        m_reply->deleteLater();
    }
    ReplyGuard(const ReplyGuard &) = delete;
    ReplyGuard &operator=(const ReplyGuard &) = delete;

    QNetworkReply *get() const { return m_reply; }

private:
    QPointer<QNetworkReply> m_reply;
};
