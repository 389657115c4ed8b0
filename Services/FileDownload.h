// SPDX-License-Identifier: MIT
#pragma once

#include "DownloadSpace.h"
#include "HttpAnswer.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

/**
 * One HTTP GET whose body goes straight into a file, on a thread of its own
 * (libcurl), so that neither the file's size, the network's speed nor the
 * disk's speed decides how much memory it takes: each chunk is written
 * before the next is read from the socket, so a slow disk makes the server
 * wait instead of filling memory, and every byte that reached the process
 * before a break is in the file, so a resumed download asks for exactly the
 * first byte that is not. Redirects are followed, never from https to http.
 * Proxies and certificates are libcurl's defaults: the http_proxy,
 * https_proxy and no_proxy variables, and the system's CA bundle.
 *
 * The headers of the final answer are judged once, by the caller's check,
 * which says where in the file the body starts: at 0 the file is truncated,
 * past 0 the body is appended to the data a broken transfer left (a resumed
 * range). The file is opened then. The volume is asked before every chunk
 * is written (DownloadSpace), so a body longer than announced, or of no
 * announced length, stops while the reserve is still free. A refused
 * answer, a full disk, a failed write and cancel() all end the transfer;
 * stop() tells which ended it, ending() how the transfer itself ended.
 *
 * The check and the chunk handler run on the transfer's thread; received()
 * and written() may be read from any thread while it runs, the rest once
 * run() has returned.
 *
 * @code
 * FileDownload transfer({url}, path, DownloadSpace(folder), [](const HttpAnswer &answer) -> std::optional<qint64> {
 *     return answer.status == 200 ? std::optional<qint64>(0) : std::nullopt;
 * });
 * co_await transfer.run();
 * if (transfer.stop() != FileDownload::Stop::none || transfer.ending() != FileDownload::Ending::complete)
 *     throw ...;
 * @endcode
 */
class FileDownload final : public QObject
{
    Q_OBJECT

public:
    /// What ended the transfer before the server did.
    enum class Stop { none, refused, outOfSpace, writeFailed, cancelled };
    /// How the exchange with the server ended: whole, broken off (a later try may pass), timed out, failed for good, or stopped by us.
    enum class Ending { complete, broken, timedOut, failed, stopped };

    struct Request {
        Request(QUrl url, QList<std::pair<QByteArray, QByteArray>> headers = {}, std::chrono::milliseconds idleTimeout = std::chrono::minutes(5),
                std::chrono::milliseconds wholeTimeout = std::chrono::hours(48))
            : url(std::move(url))
            , headers(std::move(headers))
            , idleTimeout(idleTimeout)
            , wholeTimeout(wholeTimeout)
        {
        }

        QUrl url;
        /// Sent as they are, after libcurl's own.
        QList<std::pair<QByteArray, QByteArray>> headers;
        /// A transfer that receives nothing for this long is broken off.
        std::chrono::milliseconds idleTimeout;
        /// The longest the whole transfer may take.
        std::chrono::milliseconds wholeTimeout;
    };

    /// Judges the final answer's headers: the offset in the file where its body starts, or none to refuse the body.
    using HeadersCheck = std::function<std::optional<qint64>(const HttpAnswer &answer)>;
    /// Sees each chunk once it is written.
    using ChunkHandler = std::function<void(QByteArrayView chunk)>;

    /// `offset`: where the body is expected to start (the size of a partial file whose rest was asked for), until the check says where it does.
    FileDownload(Request request, QString path, DownloadSpace space, HeadersCheck check, ChunkHandler written = {}, qint64 offset = 0,
                 QObject *parent = nullptr);
    /// Cancels a transfer still running and waits for its thread.
    ~FileDownload() override;

    /// Runs the transfer to its end; the file is closed when it returns. Once.
    QCoro::Task<> run();
    /// Ends the transfer soon; what was written stays in the file. Any thread.
    void cancel();

    /// Where in the file the body starts.
    qint64 offset() const { return m_offset; }
    /// Body bytes written by this transfer.
    qint64 written() const { return m_written; }
    /// What the file holds of the whole body: the offset and what was written since.
    qint64 received() const { return m_offset + m_written; }

    Stop stop() const { return m_stop; }
    Ending ending() const { return m_ending; }
    /// Why the file could not be written, or the transfer failed.
    const QString &errorString() const { return m_errorString; }
    /// Whether the headers of a final answer were judged.
    bool isAnswered() const { return m_answer.has_value(); }
    /// The final answer's status and headers, once judged.
    const std::optional<HttpAnswer> &answer() const { return m_answer; }

Q_SIGNALS:
    void finished();

private:
    class Transfer;
    struct Multi;

    const Request m_request;
    const QString m_path;
    const DownloadSpace m_space;
    const HeadersCheck m_check;
    const ChunkHandler m_onWritten;
    std::atomic<qint64> m_offset;
    std::atomic<qint64> m_written = 0;
    std::atomic<bool> m_cancelRequested = false;
    /// libcurl's multi handle: the transfer's thread waits on it for the socket, and cancel() wakes that wait.
    std::unique_ptr<Multi> m_multi;
    Stop m_stop = Stop::none;
    Ending m_ending = Ending::failed;
    QString m_errorString;
    std::optional<HttpAnswer> m_answer;
    std::thread m_thread;
};
