// SPDX-License-Identifier: MIT
#pragma once

#include "DownloadSpace.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>

class FileDownload;

/**
 * Fetches one Linux installer ISO to a file. The bytes are streamed into a
 * hidden sibling of the target, and only a complete answer is renamed into
 * place: a 2xx status, as many bytes as the server announced, and an ISO
 * 9660 image as long as its volume says. A transfer that breaks off (the
 * idle time-out, a lost connection, a cancel, a full disk) keeps what
 * arrived when the server named the version it sent (DownloadResume): the
 * next run into the same target asks for the rest, and takes it only when
 * it is the rest of that same version; otherwise that run starts over from
 * zero. Anything else removes the partial file. Failures are sentences that
 * begin "Linux ISO download failed: ". The server's word is not trusted for
 * the disk: an announced length that does not fit, or a body that would take
 * the disk's last free space (DownloadSpace), breaks the transfer off; the
 * body of an error answer is not stored at all. The transfer runs off the
 * GUI thread (FileDownload) in bounded memory; the progress handler hears of
 * it a few times a second. One run per target at a time. GUI thread only.
 *
 * @code
 * LinuxISODownload download;
 * co_await download.run(distribution.isoURL, cachedISOPath, [](qint64 got, qint64 of) { show(got, of); });
 * @endcode
 */
class LinuxISODownload : public QObject
{
    Q_OBJECT

public:
    /// Bytes received so far and bytes expected (below 1 when the server announced none).
    using ProgressHandler = std::function<void(qint64 received, qint64 expected)>;

    /// `availableSpace` measures the target's volume; FileMeasurements::availableSpace when empty.
    explicit LinuxISODownload(DownloadSpace::Measure availableSpace = {}, QObject *parent = nullptr);

    /// Throws VirtualMachineError userCancelled after cancel(), a runtime error for every other failure.
    QCoro::Task<> run(QUrl url, QString target, ProgressHandler progress);
    /// The idle time-out of a transfer: one that receives nothing for this long is broken off.
    void setIdleTimeout(std::chrono::milliseconds timeout) { m_idleTimeout = timeout; }
    /// Stops a running download; run() then fails as cancelled. Nothing happens when none runs.
    void cancel();

    /// Where a download into `target` is written until it is complete.
    static QString partialURL(const QString &target);
    /// What a later run needs to resume the partial file: address, validator and length.
    static QString resumeDataURL(const QString &target);

private:
    enum class Pass { finished, startOver };
    QCoro::Task<Pass> transfer(QUrl url, QString target, ProgressHandler progress, bool mayStartOver);

    DownloadSpace::Measure m_availableSpace;
    std::chrono::milliseconds m_idleTimeout = std::chrono::minutes(5);
    /// The running transfer, for cancel().
    FileDownload *m_transfer = nullptr;
    bool m_cancelled = false;
};
