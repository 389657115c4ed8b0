// SPDX-License-Identifier: MIT
#include "ReplyToFile.h"

#include "NetworkReplies.h"

#include <utility>

ReplyToFile::ReplyToFile(QNetworkReply *reply, QFile &file, DownloadSpace space, HeadersCheck check, ChunkHandler written, qint64 offset)
    : m_reply(reply)
    , m_file(file)
    , m_space(std::move(space))
    , m_check(std::move(check))
    , m_onWritten(std::move(written))
    , m_offset(offset)
{
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &m_receiver, [this] {
        // A redirect's own answer is not ours to judge; the network layer follows it.
        const int status = NetworkReplies::httpStatus(*m_reply).value_or(0);
        if (!m_answered && status != 0 && (status < 300 || status > 399))
            judgeAnswer();
    });
    QObject::connect(reply, &QIODevice::readyRead, &m_receiver, [this] { drain(); });
}

void ReplyToFile::finish()
{
    // What arrived before a break is kept too: a resumed download asks only for the rest.
    if (m_reply && (m_answered || NetworkReplies::httpStatus(*m_reply)))
        drain();
    if (m_file.isOpen()) {
        if (!m_file.flush() && m_stop == Stop::none) {
            m_errorString = m_file.errorString();
            m_stop = Stop::writeFailed;
        }
        m_file.close();
    }
}

void ReplyToFile::cancel() { halt(Stop::cancelled); }

void ReplyToFile::judgeAnswer()
{
    m_answered = true;
    const std::optional<qint64> offset = m_check(*m_reply);
    if (!offset)
        return halt(Stop::refused);
    m_offset = *offset;
    if (!m_file.isOpen()
        && !m_file.open(m_offset > 0 ? QIODevice::WriteOnly | QIODevice::Append : QIODevice::WriteOnly | QIODevice::Truncate))
        failWrite();
}

void ReplyToFile::drain()
{
    if (!m_reply || m_stop != Stop::none)
        return;
    if (!m_answered)
        judgeAnswer();
    if (m_stop != Stop::none)
        return;
    const QByteArray chunk = m_reply->readAll();
    if (chunk.isEmpty())
        return;
    // Measured again as data arrives: the announced length may be absent or wrong, and other programs take space too.
    if (!m_space.allows(quint64(chunk.size())))
        return halt(Stop::outOfSpace);
    if (m_file.write(chunk) != chunk.size())
        return failWrite();
    m_written += chunk.size();
    if (m_onWritten)
        m_onWritten(chunk);
}

void ReplyToFile::halt(Stop reason)
{
    if (m_stop == Stop::none)
        m_stop = reason;
    if (m_reply)
        m_reply->abort();
}

void ReplyToFile::failWrite()
{
    m_errorString = m_file.errorString();
    halt(Stop::writeFailed);
}
