// SPDX-License-Identifier: MIT
#pragma once

#include "DownloadSpace.h"

#include <QByteArray>
#include <QFile>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

/**
 * Drains the body of one network reply into a file as it arrives, so a
 * download of any size takes constant memory. The headers of the final
 * answer (a redirect's are left to the network layer) are judged once by
 * the caller, who says where in the file the body starts: at 0 the file is
 * truncated, past 0 the body is appended to the data a broken transfer left
 * (a resumed range). The file is opened then, unless the caller opened it
 * already. The volume is asked before every chunk is written
 * (DownloadSpace), so a body longer than announced, or of no announced
 * length, stops while the reserve is still free. A refused answer, a full
 * disk, a failed write and cancel() all abort the reply; stop() tells which
 * ended it. The reply's read-buffer size stays the caller's choice. Attach
 * it right after the request is sent, and declare it after the reply's
 * guard, so that it goes first and no late signal reaches a check whose
 * state is gone. GUI thread.
 *
 * @code
 * const ReplyGuard reply(network.get(request));
 * ReplyToFile transfer(reply.get(), file, DownloadSpace(folder), [](QNetworkReply &answer) -> std::optional<qint64> {
 *     return NetworkReplies::httpStatus(answer) == 200 ? std::optional<qint64>(0) : std::nullopt;
 * });
 * co_await NetworkReplies::waitForReply(reply.get(), 1h);
 * transfer.finish();
 * if (transfer.stop() != ReplyToFile::Stop::none)
 *     throw ...;
 * @endcode
 */
class ReplyToFile
{
public:
    enum class Stop { none, refused, outOfSpace, writeFailed, cancelled };

    /// Judges the answer's headers: the offset in the file where its body starts, or none to refuse the body (the reply is aborted).
    using HeadersCheck = std::function<std::optional<qint64>(QNetworkReply &answer)>;
    /// Sees each chunk once it is written.
    using ChunkHandler = std::function<void(const QByteArray &chunk)>;

    /// `offset`: where the body is expected to start (the size of a partial file whose rest was asked for), until the check says where it
    /// does.
    ReplyToFile(QNetworkReply *reply, QFile &file, DownloadSpace space, HeadersCheck check, ChunkHandler written = {}, qint64 offset = 0);
    ReplyToFile(const ReplyToFile &) = delete;
    ReplyToFile &operator=(const ReplyToFile &) = delete;

    /// Writes what the reply still holds, when an answer arrived, then flushes and closes the file. Call it once the reply has finished.
    void finish();
    /// Aborts the transfer; what was written stays in the file.
    void cancel();

    Stop stop() const { return m_stop; }
    /// Why the file could not be opened or written.
    const QString &errorString() const { return m_errorString; }
    /// Whether the headers of the answer were judged.
    bool isAnswered() const { return m_answered; }
    /// Where in the file the body starts.
    qint64 offset() const { return m_offset; }
    /// Body bytes written by this transfer.
    qint64 written() const { return m_written; }
    /// What the file holds of the whole body: the offset and what was written since.
    qint64 received() const { return m_offset + m_written; }

private:
    void judgeAnswer();
    void drain();
    void halt(Stop reason);
    void failWrite();

    QPointer<QNetworkReply> m_reply;
    QFile &m_file;
    const DownloadSpace m_space;
    const HeadersCheck m_check;
    const ChunkHandler m_onWritten;
    Stop m_stop = Stop::none;
    QString m_errorString;
    bool m_answered = false;
    qint64 m_offset = 0;
    qint64 m_written = 0;
    /// Ends the connections to the reply with this object.
    QObject m_receiver;
};
