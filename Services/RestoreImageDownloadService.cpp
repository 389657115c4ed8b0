// SPDX-License-Identifier: MIT
#include "RestoreImageDownloadService.h"

#include "AppDirectories.h"
#include "DownloadResume.h"
#include "DownloadSpace.h"
#include "FileOperations.h"
#include "JSONCoding.h"
#include "LoggingService.h"
#include "FileDownload.h"
#include "PlatformError.h"
#include "RestoreImageCatalogService.h"
#include "TransferSpeed.h"
#include "SignalWaiter.h"
#include "VersionString.h"
#include "VirtualMachineError.h"
#include "ZipArchiveEnd.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace {

const QString category = QStringLiteral("RestoreImage");
const QString invalidResumeText = QStringLiteral("Saved partial download data became invalid and will be restarted.");
const QString interruptedText = QStringLiteral("The network connection was interrupted.");

/// The longest a whole attempt may take; the idle time-out ends a stalled one much sooner.
constexpr std::chrono::hours attemptLimit{48};

/// Thrown by one attempt when another attempt may succeed; never leaves the service.
struct RetryableDownloadError {
    QString message;
};

VirtualMachineError downloadFailed(const QString &detail)
{
    return VirtualMachineError(VirtualMachineError::Case::restoreImageDownloadFailed, detail);
}

void removeQuietly(const QString &path)
{
    QFile::remove(path);
}

qint64 fileSize(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() ? info.size() : 0;
}

/// One transfer attempt: what it asks for, and how it judges the answer and what arrived.
class Attempt
{
public:
    Attempt(const QUrl &source, const QString &partialPath, const QString &resumeDataPath)
        : resume(source, partialPath, resumeDataPath)
        , resuming(resume.isResuming())
        , offset(resume.offset())
    {
    }

    FileDownload::Request request(const QUrl &url, std::chrono::milliseconds idleTimeout) const
    {
        return FileDownload::Request{url, resume.rangeHeaders(), idleTimeout, attemptLimit};
    }

    /// Where in the partial file the answer's body starts, or none when the body is not wanted. On the transfer's thread.
    std::optional<qint64> judgeAnswer(const HttpAnswer &answer, const DownloadSpace &space)
    {
        status = answer.status;
        DownloadResume::Judgement judgement;
        try {
            judgement = resume.judge(answer);
        } catch (const std::runtime_error &) {
            return refuse(Verdict::invalidLength);
        }
        switch (judgement.verdict) {
        case DownloadResume::Verdict::fresh:
        case DownloadResume::Verdict::resumed:
            break;
        case DownloadResume::Verdict::startOver:
            return refuse(Verdict::unresumable);
        case DownloadResume::Verdict::other:
            return refuse(Verdict::httpFailure);
        }
        expectedTotal = judgement.expectedTotal;
        if (expectedTotal > judgement.start) {
            neededSpace = quint64(expectedTotal - judgement.start);
            if (!space.allows(neededSpace))
                return refuse(Verdict::noSpace);
        }
        if (judgement.verdict == DownloadResume::Verdict::fresh)
            resume.store();
        return judgement.start;
    }

    /// Throws when the transfer was refused or stopped before its end.
    void checkStop(const FileDownload &transfer) const
    {
        switch (transfer.stop()) {
        case FileDownload::Stop::none:
        case FileDownload::Stop::cancelled:
            return;
        case FileDownload::Stop::refused:
            break;
        case FileDownload::Stop::outOfSpace:
            // What arrived stays for a later download to resume from, once there is room; without a validator it is only in the way.
            if (!resume.canResume())
                resume.discard();
            throw downloadFailed(QStringLiteral("There is not enough free space for the restore image: the disk ran out of free space after %1 bytes.")
                                     .arg(transfer.received()));
        case FileDownload::Stop::writeFailed:
            throw PlatformError(PlatformError::Domain::file, 0, transfer.errorString(), resume.partialPath());
        }
        switch (verdict) {
        case Verdict::none:
            return;
        case Verdict::unresumable:
            throw startOver();
        case Verdict::httpFailure:
            if (status >= 500 || status == 429)
                throw RetryableDownloadError{QStringLiteral("The server answered HTTP %1.").arg(status)};
            throw downloadFailed(QStringLiteral("HTTP %1").arg(status));
        case Verdict::invalidLength:
            throw downloadFailed(QStringLiteral("The server announced an invalid length (Content-Length)."));
        case Verdict::noSpace:
            throw downloadFailed(QStringLiteral("There is not enough free space for the restore image (") + DownloadSpace::neededText(neededSpace)
                                 + QStringLiteral(")."));
        }
    }

    /// The partial file, when it holds the whole image; throws otherwise.
    QString completedFile(const FileDownload &transfer) const
    {
        const QString &partialPath = resume.partialPath();
        const FileDownload::Ending ending = transfer.ending();
        const qint64 size = fileSize(partialPath);
        const bool complete = ending == FileDownload::Ending::complete && (expectedTotal < 0 ? size > 0 : size == expectedTotal);
        if (complete && ZipArchiveEnd::isComplete(partialPath))
            return partialPath;
        if (complete) {
            // The body ended where the server said it would, yet the image's archive does not: the announced length (or the close) was wrong.
            resume.discard();
            throw downloadFailed(QStringLiteral("The downloaded file is not a whole restore image: it ends before its archive does."));
        }

        // The transfer broke off (or ended short of the length announced).
        const bool transient = ending != FileDownload::Ending::failed;
        if (transient && resume.canResume())
            throw RetryableDownloadError{interruptedText};
        if (resuming)
            throw startOver();
        if (ending == FileDownload::Ending::complete)
            throw downloadFailed(size == 0 ? QStringLiteral("The download finished without a file.")
                                           : QStringLiteral("The download ended before the whole file arrived."));
        throw downloadFailed(transfer.errorString());
    }

    DownloadResume resume;
    /// Whether the attempt asks for the rest of a partial file, and the partial file's size then.
    const bool resuming;
    const qint64 offset;
    /// The whole image's length as the answer announced it; below 0 when it did not. Set on the transfer's thread, read by the progress reports.
    std::atomic<qint64> expectedTotal = -1;

private:
    enum class Verdict { none, unresumable, httpFailure, invalidLength, noSpace };

    std::nullopt_t refuse(Verdict reason)
    {
        verdict = reason;
        return std::nullopt;
    }

    /// The saved partial data cannot be resumed from: it goes, and the next attempt starts from zero.
    RetryableDownloadError startOver() const
    {
        resume.discard();
        return RetryableDownloadError{invalidResumeText};
    }

    Verdict verdict = Verdict::none;
    int status = 0;
    quint64 neededSpace = 0;
};

/// Reports an attempt's progress on a timer; no time remaining is promised while nothing arrives.
class ProgressSampler
{
public:
    ProgressSampler(const FileDownload &transfer, const Attempt &attempt, const RestoreImageDownloadService::ProgressHandler &handler,
                    std::chrono::milliseconds interval, std::chrono::milliseconds stallTime)
        : m_transfer(transfer)
        , m_attempt(attempt)
        , m_handler(handler)
        , m_speed(stallTime.count())
    {
        m_clock.start();
        m_handler({0, 0, std::nullopt, std::nullopt, std::nullopt, m_attempt.resuming});
        m_timer.setInterval(interval);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { sample(); });
        m_timer.start();
    }

    void stop() { m_timer.stop(); }

private:
    void sample()
    {
        const qint64 received = m_transfer.received();
        m_speed.sample(m_transfer.written(), m_clock.elapsed());
        const std::optional<double> speed = m_speed.bytesPerSecond();
        RestoreImageDownloadProgress progress;
        progress.downloadedBytes = received;
        progress.bytesPerSecond = speed;
        progress.isResumingDownload = m_attempt.resuming;
        const qint64 expected = m_attempt.expectedTotal;
        if (expected >= 1) {
            progress.expectedBytes = expected;
            progress.fractionCompleted = std::clamp(double(received) / double(expected), 0.0, 1.0);
            if (speed && *speed > 0 && received < expected && !m_speed.isStalled())
                progress.estimatedTimeRemaining = double(expected - received) / *speed;
        }
        m_handler(progress);
    }

    const FileDownload &m_transfer;
    const Attempt &m_attempt;
    const RestoreImageDownloadService::ProgressHandler &m_handler;
    QElapsedTimer m_clock;
    QTimer m_timer;
    TransferSpeed m_speed;
};

} // namespace

struct RestoreImageDownloadService::ActiveDownload {
    QString resumeDataPath;
    QString partialPath;
    QPointer<FileDownload> transfer;
    bool cancelled = false;
};

RestoreImageDownloadService::RestoreImageDownloadService(const LoggingService &logging)
    : RestoreImageDownloadService(logging, Options())
{
}

RestoreImageDownloadService::RestoreImageDownloadService(const LoggingService &logging, Options options, QObject *parent)
    : QObject(parent)
    , m_logging(logging)
    , m_options(std::move(options))
{
}

RestoreImageDownloadService::~RestoreImageDownloadService()
{
    for (const std::shared_ptr<ActiveDownload> &active : std::as_const(m_active)) {
        active->cancelled = true;
        if (active->transfer)
            active->transfer->cancel();
    }
}

QString RestoreImageDownloadService::cacheFileName(const RestoreImageInfo &info)
{
    if (!VersionString::isWellFormedVersion(info.version) || !VersionString::isWellFormedBuild(info.build))
        throw downloadFailed(QStringLiteral("The restore image's version or build is not valid."));
    const QByteArray source = info.sourceURL.value_or(QUrl()).toString(QUrl::FullyEncoded).toUtf8();
    const QString digest = QString::fromLatin1(QCryptographicHash::hash(source, QCryptographicHash::Sha256).toHex().left(12));
    return QStringLiteral("macOS-%1-%2-%3.ipsw").arg(QString(info.version).replace(QLatin1Char('.'), QLatin1Char('_')), info.build, digest);
}

QString RestoreImageDownloadService::cacheFolder() const
{
    if (m_options.cacheFolder)
        return *m_options.cacheFolder;
    try {
        return AppDirectories::cacheDirectory();
    } catch (const PlatformError &) {
        return QDir::tempPath() + QStringLiteral("/DuvuzodOvevavRestoreCache");
    }
}

std::optional<QUrl> RestoreImageDownloadService::cachedRestoreImageURL(const RestoreImageInfo &info) const
{
    if (!info.sourceURL)
        return info.localFileURL;
    try {
        const QString path = cacheFolder() + QLatin1Char('/') + cacheFileName(info);
        if (fileSize(path) > 0)
            return QUrl::fromLocalFile(path);
    } catch (const VirtualMachineError &) {
        // A name we would not make cannot be in the cache.
    }
    return std::nullopt;
}

QCoro::Task<QUrl> RestoreImageDownloadService::download(RestoreImageInfo info, ProgressHandler progressHandler)
{
    if (!progressHandler)
        progressHandler = [](const RestoreImageDownloadProgress &) {};
    if (const std::optional<QUrl> cached = cachedRestoreImageURL(info)) {
        const qint64 size = fileSize(cached->toLocalFile());
        progressHandler({1.0, size, size, std::nullopt, 0.0, false});
        co_return *cached;
    }
    if (!info.sourceURL)
        throw downloadFailed(QStringLiteral("No remote restore image URL was provided."));
    if (!RestoreImageCatalogService::isAcceptableDownloadURL(*info.sourceURL))
        throw downloadFailed(QStringLiteral("Restore images are downloaded over https only."));
    const QString destination = cacheFolder() + QLatin1Char('/') + cacheFileName(info);
    if (m_active.contains(destination))
        throw downloadFailed(QStringLiteral("This restore image is already being downloaded."));

    QPointer<RestoreImageDownloadService> self(this);
    auto active = std::make_shared<ActiveDownload>();
    active->resumeDataPath = destination + QStringLiteral(".resumeData");
    active->partialPath = destination + QStringLiteral(".part");
    m_active.insert(destination, active);
    const auto unregister = qScopeGuard([&] {
        if (self && m_active.value(destination) == active)
            m_active.remove(destination);
    });

    for (int attempt = 0;; ++attempt) {
        if (active->cancelled || !self)
            throw VirtualMachineError(VirtualMachineError::Case::userCancelled);
        try {
            const QString partial = co_await runAttempt(*info.sourceURL, destination, progressHandler, active);
            if (!self)
                throw VirtualMachineError(VirtualMachineError::Case::userCancelled);
            co_return finishDownload(info, partial, destination, progressHandler);
        } catch (const RetryableDownloadError &error) {
            if (!self)
                throw VirtualMachineError(VirtualMachineError::Case::userCancelled);
            if (attempt == maximumAttempts - 1) {
                QString detail = error.message + QStringLiteral(" Zovozu VM Lab exhausted its automatic retry budget.");
                if (DownloadResume::isSaved(active->partialPath, active->resumeDataPath))
                    detail += QStringLiteral(" Retry again to continue from the saved partial download.");
                throw downloadFailed(detail);
            }
            log(QStringLiteral("Restore image download interrupted. Attempt %1 will resume after %2 second(s).").arg(attempt + 2).arg(attempt + 1));
        }
        const bool waited = co_await waitBeforeRetry(m_options.retryDelayUnit * (attempt + 1), active);
        if (!waited)
            throw VirtualMachineError(VirtualMachineError::Case::userCancelled);
    }
}

void RestoreImageDownloadService::cancel()
{
    if (m_active.isEmpty())
        return;
    for (const std::shared_ptr<ActiveDownload> &active : std::as_const(m_active)) {
        active->cancelled = true;
        if (active->transfer)
            active->transfer->cancel();
        if (DownloadResume::isSaved(active->partialPath, active->resumeDataPath))
            log(QStringLiteral("Stored resumable restore-image state after user cancellation."));
    }
    Q_EMIT cancelRequested();
}

QCoro::Task<bool> RestoreImageDownloadService::waitBeforeRetry(std::chrono::milliseconds delay, std::shared_ptr<ActiveDownload> active)
{
    enum { cancelled, gone };
    SignalWaiter waiter;
    waiter.watch(this, &RestoreImageDownloadService::cancelRequested, cancelled);
    waiter.watchDestruction(this, gone);
    const std::optional<int> outcome = co_await waiter.wait(delay);
    co_return !outcome && !active->cancelled;
}

QCoro::Task<QString> RestoreImageDownloadService::runAttempt(QUrl source, QString destination, ProgressHandler &progressHandler,
                                                             std::shared_ptr<ActiveDownload> active)
{
    QPointer<RestoreImageDownloadService> self(this);
    Attempt attempt(source, active->partialPath, active->resumeDataPath);
    if (attempt.resuming)
        log(QStringLiteral("Resuming restore image download from saved partial data."));
    else
        log(QStringLiteral("Downloading restore image from ") + attempt.resume.source());
    const QString folder = QFileInfo(destination).absolutePath();
    FileOperations::createFolders(folder);

    const DownloadSpace space(folder, m_options.availableSpace);
    FileDownload transfer(
        attempt.request(source, m_options.idleTimeout), active->partialPath, space,
        [&](const HttpAnswer &answer) { return attempt.judgeAnswer(answer, space); }, {}, attempt.offset);
    active->transfer = &transfer;
    ProgressSampler sampler(transfer, attempt, progressHandler, m_options.progressInterval, m_options.stallTime);

    co_await transfer.run();
    if (!self || active->cancelled)
        throw VirtualMachineError(VirtualMachineError::Case::userCancelled);
    sampler.stop();
    active->transfer = nullptr;
    attempt.checkStop(transfer);
    co_return attempt.completedFile(transfer);
}

QUrl RestoreImageDownloadService::finishDownload(const RestoreImageInfo &info, const QString &partial, const QString &destination,
                                                 const ProgressHandler &progressHandler) const
{
    // Renamed over the old file, never deleted first: a failed move leaves the old one in place.
    if (std::rename(QFile::encodeName(partial).constData(), QFile::encodeName(destination).constData()) != 0)
        throw PlatformError::posix(errno, destination);
    RestoreImageInfo cached = info;
    cached.localFileURL = QUrl::fromLocalFile(destination);
    cached.downloadState = RestoreImageInfo::DownloadState::cachedLocally;
    FileOperations::writeAtomically(destination + QStringLiteral(".json"), sharedJSONEncoder().encode(cached));
    removeQuietly(destination + QStringLiteral(".resumeData"));
    const qint64 size = fileSize(destination);
    progressHandler({1.0, size, size, std::nullopt, 0.0, false});
    log(QStringLiteral("Cached restore image at ") + destination);
    return QUrl::fromLocalFile(destination);
}

void RestoreImageDownloadService::log(const QString &message) const
{
    m_logging.log(message, category);
}
