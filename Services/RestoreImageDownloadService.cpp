// SPDX-License-Identifier: MIT
#include "RestoreImageDownloadService.h"

#include "AppDirectories.h"
#include "DownloadSpace.h"
#include "FileOperations.h"
#include "JSONCoding.h"
#include "LoggingService.h"
#include "NetworkReplies.h"
#include "PlatformError.h"
#include "ReplyGuard.h"
#include "RestoreImageCatalogService.h"
#include "SignalWaiter.h"
#include "VersionString.h"
#include "VirtualMachineError.h"
#include "ZipArchiveEnd.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QNetworkRequest>
#include <QPointer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTimer>

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

/// What the next attempt needs to ask for the rest of a broken transfer.
struct ResumeData {
    QString url;
    QString validator;

    static std::optional<ResumeData> read(const QString &path)
    {
        try {
            const Json json = sharedJSONDecoder().parse(FileOperations::readFile(path, 64 * 1024));
            const JSONObjectReader reader(json);
            ResumeData data{reader.required<QString>("url"), reader.required<QString>("validator")};
            if (data.validator.isEmpty())
                return std::nullopt;
            return data;
        } catch (...) {
            return std::nullopt;
        }
    }

    void write(const QString &path) const
    {
        JSONObjectWriter writer;
        writer.set("url", url);
        writer.set("validator", validator);
        FileOperations::createFolders(QFileInfo(path).absolutePath());
        FileOperations::writeAtomically(path, sharedJSONEncoder().encodeJson(writer.take()));
    }
};

void removeQuietly(const QString &path)
{
    QFile::remove(path);
}

qint64 fileSize(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() ? info.size() : 0;
}

/// The first byte of "bytes a-b/total" and the total, when the header reads so.
std::optional<std::pair<qint64, qint64>> parseContentRange(const QByteArray &header)
{
    static const QRegularExpression pattern(QStringLiteral("^bytes (\\d+)-(\\d+)/(\\d+)$"));
    const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(header.trimmed()));
    if (!match.hasMatch())
        return std::nullopt;
    return std::pair{match.captured(1).toLongLong(), match.captured(3).toLongLong()};
}

} // namespace

struct RestoreImageDownloadService::ActiveDownload {
    QString resumeDataPath;
    QString partialPath;
    QPointer<QNetworkReply> reply;
    bool cancelled = false;
};

/// The state of one transfer attempt, shared between its signal handlers and its coroutine.
struct RestoreImageDownloadService::Attempt {
    enum class Verdict { none, refusedRange, misplacedRange, httpFailure, invalidLength, noSpace, ranOutOfSpace, writeFailed };

    QString source;
    QString partialPath;
    QString resumeDataPath;
    std::optional<ResumeData> resume;
    qint64 offset = 0;
    bool resuming = false;
    bool headersSeen = false;
    Verdict verdict = Verdict::none;
    int status = 0;
    qint64 expectedTotal = -1;
    qint64 written = 0;
    quint64 neededSpace = 0;
    QString writeError;
    QFile file;

    qint64 received() const { return offset + written; }
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
        if (active->reply)
            active->reply->abort();
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
            if (attempt == maximumAttempts - 1)
                throw downloadFailed(error.message
                                     + QStringLiteral(" Zovozu VM Lab exhausted its automatic retry budget. Retry again to continue from the saved partial download."));
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
        if (active->reply)
            active->reply->abort();
        if (ResumeData::read(active->resumeDataPath) && fileSize(active->partialPath) > 0)
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
    Attempt attempt;
    attempt.source = source.toString(QUrl::FullyEncoded);
    attempt.partialPath = active->partialPath;
    attempt.resumeDataPath = active->resumeDataPath;
    attempt.resume = ResumeData::read(attempt.resumeDataPath);
    if (attempt.resume && attempt.resume->url != attempt.source)
        attempt.resume.reset();
    if (attempt.resume && fileSize(attempt.partialPath) > 0) {
        attempt.resuming = true;
        attempt.offset = fileSize(attempt.partialPath);
    } else if (QFileInfo::exists(attempt.resumeDataPath)) {
        // Data we cannot resume from (another address, no partial file): start afresh.
        removeQuietly(attempt.resumeDataPath);
        attempt.resume.reset();
    }

    QNetworkRequest request(source);
    request.setTransferTimeout(int(m_options.idleTimeout.count()));
    if (attempt.resuming) {
        log(QStringLiteral("Resuming restore image download from saved partial data."));
        request.setRawHeader("Range", "bytes=" + QByteArray::number(attempt.offset) + '-');
        request.setRawHeader("If-Range", attempt.resume->validator.toUtf8());
    } else {
        log(QStringLiteral("Downloading restore image from ") + attempt.source);
    }
    FileOperations::createFolders(QFileInfo(destination).absolutePath());

    // No read-buffer limit: with one, the network layer drops what it held back in the socket when the server hangs up,
    // and the next attempt would fetch those bytes again. Memory stays small anyway, since every chunk goes to disk as it arrives.
    const ReplyGuard reply(m_network.get(request));
    active->reply = reply.get();

    const DownloadSpace space(QFileInfo(destination).absolutePath(), m_options.availableSpace);
    const auto refuse = [&](Attempt::Verdict verdict) {
        attempt.verdict = verdict;
        reply.get()->abort();
    };
    const auto onHeaders = [&] {
        attempt.headersSeen = true;
        QNetworkReply &answer = *reply.get();
        attempt.status = NetworkReplies::httpStatus(answer).value_or(0);
        QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Append;
        if (attempt.status == 206 && attempt.resuming) {
            const auto range = parseContentRange(answer.rawHeader("Content-Range"));
            if (!range || range->first != attempt.offset)
                return refuse(Attempt::Verdict::misplacedRange);
            attempt.expectedTotal = range->second;
        } else if (attempt.status == 200) {
            // A fresh body: to a range request it means the file changed, so the partial data is worthless.
            attempt.offset = 0;
            mode = QIODevice::WriteOnly | QIODevice::Truncate;
            try {
                attempt.expectedTotal = NetworkReplies::announcedLength(answer).value_or(-1);
            } catch (const std::runtime_error &) {
                return refuse(Attempt::Verdict::invalidLength);
            }
            QString validator = QString::fromLatin1(answer.rawHeader("ETag"));
            if (validator.isEmpty())
                validator = QString::fromLatin1(answer.rawHeader("Last-Modified"));
            attempt.resume = validator.isEmpty() ? std::nullopt : std::optional<ResumeData>(ResumeData{attempt.source, validator});
        } else if (attempt.status == 416) {
            return refuse(Attempt::Verdict::refusedRange);
        } else {
            return refuse(Attempt::Verdict::httpFailure);
        }
        if (attempt.expectedTotal > attempt.offset) {
            attempt.neededSpace = quint64(attempt.expectedTotal - attempt.offset);
            if (!space.allows(attempt.neededSpace))
                return refuse(Attempt::Verdict::noSpace);
        }
        if (attempt.status == 200) {
            try {
                if (attempt.resume)
                    attempt.resume->write(attempt.resumeDataPath);
                else
                    removeQuietly(attempt.resumeDataPath);
            } catch (const PlatformError &) {
                // Without resume data a break starts over; the download itself goes on.
            }
        }
        attempt.file.setFileName(attempt.partialPath);
        if (!attempt.file.open(mode)) {
            attempt.writeError = attempt.file.errorString();
            refuse(Attempt::Verdict::writeFailed);
        }
    };
    const auto drain = [&] {
        if (!reply.get() || attempt.verdict != Attempt::Verdict::none)
            return;
        if (!attempt.headersSeen)
            onHeaders();
        if (attempt.verdict != Attempt::Verdict::none)
            return;
        const QByteArray chunk = reply.get()->readAll();
        if (chunk.isEmpty())
            return;
        // Measured again as data arrives: the announced length may be absent or wrong, and other programs take space too.
        if (!space.allows(quint64(chunk.size())))
            return refuse(Attempt::Verdict::ranOutOfSpace);
        if (attempt.file.write(chunk) != chunk.size()) {
            attempt.writeError = attempt.file.errorString();
            return refuse(Attempt::Verdict::writeFailed);
        }
        attempt.written += chunk.size();
    };
    const QObject receiver;
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &receiver, [&] {
        // A redirect's own answer is not ours to judge; the network layer follows it.
        const int status = NetworkReplies::httpStatus(*reply.get()).value_or(0);
        if (!attempt.headersSeen && status != 0 && (status < 300 || status > 399))
            onHeaders();
    });
    QObject::connect(reply.get(), &QIODevice::readyRead, &receiver, drain);

    // Progress, sampled on a timer; the speed is smoothed so that the time remaining does not jump.
    QElapsedTimer clock;
    clock.start();
    std::optional<double> speed;
    qint64 lastBytes = 0;
    qint64 lastSample = 0;
    const bool resumingAtStart = attempt.resuming;
    progressHandler({0, 0, std::nullopt, std::nullopt, std::nullopt, resumingAtStart});
    QTimer sampler;
    sampler.setInterval(m_options.progressInterval);
    QObject::connect(&sampler, &QTimer::timeout, &receiver, [&] {
        const qint64 received = attempt.received();
        const qint64 now = clock.elapsed();
        const qint64 fresh = attempt.written - lastBytes;
        if (fresh > 0 && now > lastSample) {
            const double instant = double(fresh) * 1000.0 / double(now - lastSample);
            speed = speed ? 0.7 * *speed + 0.3 * instant : instant;
            lastBytes = attempt.written;
            lastSample = now;
        }
        RestoreImageDownloadProgress progress;
        progress.downloadedBytes = received;
        progress.bytesPerSecond = speed;
        progress.isResumingDownload = resumingAtStart;
        if (attempt.expectedTotal >= 1) {
            progress.expectedBytes = attempt.expectedTotal;
            progress.fractionCompleted = std::clamp(double(received) / double(attempt.expectedTotal), 0.0, 1.0);
            if (speed && *speed > 0 && received < attempt.expectedTotal)
                progress.estimatedTimeRemaining = double(attempt.expectedTotal - received) / *speed;
        }
        progressHandler(progress);
    });
    sampler.start();

    const bool finished = co_await NetworkReplies::waitForReply(reply.get(), attemptLimit);
    sampler.stop();
    if (!self || !reply.get() || active->cancelled) {
        attempt.file.close();
        throw VirtualMachineError(VirtualMachineError::Case::userCancelled);
    }
    active->reply = nullptr;
    if (!finished)
        throw RetryableDownloadError{interruptedText};
    // What arrived before a break is kept too: the next attempt asks only for the rest.
    if (attempt.headersSeen || NetworkReplies::httpStatus(*reply.get()))
        drain();
    if (attempt.file.isOpen() && !attempt.file.flush() && attempt.verdict == Attempt::Verdict::none) {
        attempt.writeError = attempt.file.errorString();
        attempt.verdict = Attempt::Verdict::writeFailed;
    }
    attempt.file.close();

    switch (attempt.verdict) {
    case Attempt::Verdict::none:
        break;
    case Attempt::Verdict::refusedRange:
    case Attempt::Verdict::misplacedRange:
        removeQuietly(attempt.resumeDataPath);
        removeQuietly(attempt.partialPath);
        throw RetryableDownloadError{invalidResumeText};
    case Attempt::Verdict::httpFailure:
        if (attempt.status >= 500 || attempt.status == 429)
            throw RetryableDownloadError{QStringLiteral("The server answered HTTP %1.").arg(attempt.status)};
        throw downloadFailed(QStringLiteral("HTTP %1").arg(attempt.status));
    case Attempt::Verdict::invalidLength:
        throw downloadFailed(QStringLiteral("The server announced an invalid length (Content-Length)."));
    case Attempt::Verdict::noSpace:
        throw downloadFailed(QStringLiteral("There is not enough free space for the restore image (%1 bytes are needed).").arg(attempt.neededSpace));
    case Attempt::Verdict::ranOutOfSpace:
        // What arrived stays for a later download to resume from, once there is room; without a validator it is only in the way.
        if (!attempt.resume)
            removeQuietly(attempt.partialPath);
        throw downloadFailed(QStringLiteral("There is not enough free space for the restore image: the disk ran out of free space after %1 bytes.")
                                 .arg(attempt.received()));
    case Attempt::Verdict::writeFailed:
        throw PlatformError(PlatformError::Domain::file, 0, attempt.writeError, attempt.partialPath);
    }

    const QNetworkReply::NetworkError error = reply.get()->error();
    const qint64 size = fileSize(attempt.partialPath);
    const bool complete = error == QNetworkReply::NoError && (attempt.expectedTotal < 0 ? size > 0 : size == attempt.expectedTotal);
    if (complete && ZipArchiveEnd::isComplete(attempt.partialPath))
        co_return attempt.partialPath;
    if (complete) {
        // The body ended where the server said it would, yet the image's archive does not: the announced length (or the close) was wrong.
        removeQuietly(attempt.resumeDataPath);
        removeQuietly(attempt.partialPath);
        throw downloadFailed(QStringLiteral("The downloaded file is not a whole restore image: it ends before its archive does."));
    }

    // The transfer broke off (or ended short of the length announced).
    const bool transient = error == QNetworkReply::NoError || error == QNetworkReply::OperationCanceledError || NetworkReplies::isTransient(error);
    if (transient && attempt.resume && size > 0)
        throw RetryableDownloadError{interruptedText};
    if (resumingAtStart) {
        removeQuietly(attempt.resumeDataPath);
        removeQuietly(attempt.partialPath);
        throw RetryableDownloadError{invalidResumeText};
    }
    if (error == QNetworkReply::NoError)
        throw downloadFailed(size == 0 ? QStringLiteral("The download finished without a file.")
                                       : QStringLiteral("The download ended before the whole file arrived."));
    throw downloadFailed(QString::fromUtf8(NetworkReplies::transportError(*reply.get()).what()));
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
