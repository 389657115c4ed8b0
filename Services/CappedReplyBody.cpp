// SPDX-License-Identifier: MIT
#include "CappedReplyBody.h"

#include <QNetworkRequest>

#include <algorithm>
#include <utility>

namespace {

/// What the network layer may hold for a capped reply before it stops reading the socket.
constexpr qint64 readBufferSize = 64 * 1024;

} // namespace

CappedReplyBody::CappedReplyBody(QNetworkReply *reply, qint64 cap)
    : m_reply(reply)
    , m_cap(cap)
{
    reply->setReadBufferSize(std::clamp<qint64>(cap, 1, readBufferSize));
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &m_receiver, [this] { checkAnnouncedLength(); });
    QObject::connect(reply, &QIODevice::readyRead, &m_receiver, [this] { readAvailable(); });
    checkAnnouncedLength();
    readAvailable();
}

QByteArray CappedReplyBody::take()
{
    readAvailable();
    return m_tooLarge ? QByteArray() : std::exchange(m_body, {});
}

void CappedReplyBody::checkAnnouncedLength()
{
    if (!m_reply || m_tooLarge)
        return;
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > m_cap)
        refuse();
}

void CappedReplyBody::readAvailable()
{
    if (!m_reply || m_tooLarge)
        return;
    // Looked at before reading: the bytes past the cap are never copied out of the reply.
    if (m_body.size() + m_reply->bytesAvailable() > m_cap)
        return refuse();
    m_body += m_reply->readAll();
}

void CappedReplyBody::refuse()
{
    m_tooLarge = true;
    m_body.clear();
    m_reply->abort();
}
