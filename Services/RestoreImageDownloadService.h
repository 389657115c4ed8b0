// SPDX-License-Identifier: MIT
#pragma once

#include "RestoreImageDownloadProgress.h"
#include "RestoreImageInfo.h"

#include <QCoroTask>
#include <QMap>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class LoggingService;

/**
 * Brings a macOS restore image into the restore-image cache: reuses a copy
 * already there, else downloads it, streaming the body to disk in constant
 * memory. Lives as long as the application; GUI thread only; log lines use
 * the category "RestoreImage".
 *
 * The body goes to "<cache file>.part". Only a 200 (fresh) or a 206 that
 * continues the version the partial data holds (DownloadResume: at the
 * offset asked for, with the same validator and length) is accepted; a 200
 * to a range request starts over from zero, a 416 or a 206 of another
 * version drops the partial data, and any other answer fails with its
 * status and caches nothing. The ".part" file becomes the cache file, by
 * rename over it, only once every byte announced has arrived and the file
 * ends as a zip archive does (an image whose server announced too few bytes
 * is refused). The free space of the cache's volume is measured again as
 * data arrives, so a body longer than announced, or of no announced length,
 * stops while DownloadSpace's reserve is still free. When the
 * transfer breaks, "<cache file>.resumeData" keeps the address, the
 * server's validator (a strong ETag, else Last-Modified) and the length, so
 * the next attempt asks for the rest with Range and If-Range. Transient failures are retried:
 * three attempts in all, after 1 s and then 2 s.
 *
 * One download per image at a time: a second request for an image that is
 * being downloaded is refused. cancel() stops every download at once, also
 * during the wait between attempts, and keeps the partial data.
 *
 * @code
 * const QUrl image = co_await downloads.download(info, [](const RestoreImageDownloadProgress &progress) { show(progress); });
 * @endcode
 */
class RestoreImageDownloadService final : public QObject
{
    Q_OBJECT

public:
    using ProgressHandler = std::function<void(const RestoreImageDownloadProgress &)>;

    static constexpr int maximumAttempts = 3;

    struct Options {
        /// Where images are cached; by default the restore-image cache folder.
        std::optional<QString> cacheFolder;
        /// Attempt n + 2 waits (n + 1) times this.
        std::chrono::milliseconds retryDelayUnit{1000};
        /// A transfer that receives nothing for this long is broken off (and retried).
        std::chrono::milliseconds idleTimeout{60000};
        std::chrono::milliseconds progressInterval{350};
        /// A transfer that received nothing for this long promises no time remaining (TransferSpeed).
        std::chrono::milliseconds stallTime{3000};
        /// Free bytes on the volume of a path; FileMeasurements::availableSpace when empty.
        std::function<quint64(const QString &)> availableSpace;
    };

    explicit RestoreImageDownloadService(const LoggingService &logging);
    RestoreImageDownloadService(const LoggingService &logging, Options options, QObject *parent = nullptr);
    ~RestoreImageDownloadService() override;

    /// The cached file of an image with a source URL, when it exists; otherwise the image's local file, unchecked.
    std::optional<QUrl> cachedRestoreImageURL(const RestoreImageInfo &info) const;

    /// The image file, cached or newly downloaded. Throws VirtualMachineError (restoreImageDownloadFailed, userCancelled) or PlatformError.
    QCoro::Task<QUrl> download(RestoreImageInfo info, ProgressHandler progressHandler);

    /// Stops every running download, keeping its partial data; nothing happens when none runs.
    void cancel();

    bool isDownloading() const { return !m_active.isEmpty(); }

    /// "macOS-<version with _>-<build>-<12 hex digits of the URL's SHA-256>.ipsw"; throws VirtualMachineError when the version or build could name another file.
    static QString cacheFileName(const RestoreImageInfo &info);
    QString cacheFolder() const;

Q_SIGNALS:
    void cancelRequested();

private:
    struct ActiveDownload;

    QCoro::Task<QString> runAttempt(QUrl source, QString destination, ProgressHandler &progressHandler, std::shared_ptr<ActiveDownload> active);
    QCoro::Task<bool> waitBeforeRetry(std::chrono::milliseconds delay, std::shared_ptr<ActiveDownload> active);
    QUrl finishDownload(const RestoreImageInfo &info, const QString &partial, const QString &destination,
                        const ProgressHandler &progressHandler) const;
    void log(const QString &message) const;

    const LoggingService &m_logging;
    Options m_options;
    QMap<QString, std::shared_ptr<ActiveDownload>> m_active;
};
