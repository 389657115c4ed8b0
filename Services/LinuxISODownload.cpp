// SPDX-License-Identifier: MIT
#include "LinuxISODownload.h"

#include "DownloadResume.h"
#include "FileDownload.h"
#include "ISO9660Volume.h"
#include "VirtualMachineError.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSet>
#include <QScopeGuard>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <utility>

using namespace std::chrono_literals;

namespace {
constexpr auto wholeTimeout = 7200s;
/// How often the progress handler hears how far the download is.
constexpr auto progressInterval = 300ms;

std::runtime_error downloadFailure(const QString &reason)
{
    return std::runtime_error((QStringLiteral("Linux ISO download failed: ") + reason).toStdString());
}

/// Why the transfer did not end with a 2xx answer and no transfer error, if it did not.
std::optional<QString> unsuccessful(const FileDownload &transfer)
{
    const int status = transfer.answer() ? transfer.answer()->status : 0;
    if (transfer.isAnswered() && (status < 200 || status > 299))
        return QStringLiteral("HTTP %1").arg(status);
    if (transfer.ending() != FileDownload::Ending::complete)
        return transfer.errorString();
    return std::nullopt;
}

/// Judges the answer's headers (on the transfer's thread), and turns a transfer that stopped early into the sentence a user reads.
class AnswerCheck
{
public:
    AnswerCheck(DownloadResume &resume, const DownloadSpace &space)
        : m_resume(resume)
        , m_space(space)
    {
    }

    std::optional<qint64> judge(const HttpAnswer &answer)
    {
        DownloadResume::Judgement judgement;
        try {
            judgement = m_resume.judge(answer);
        } catch (const std::runtime_error &) {
            return refuse(QStringLiteral("the server announced an invalid length."));
        }
        switch (judgement.verdict) {
        case DownloadResume::Verdict::fresh:
        case DownloadResume::Verdict::resumed:
            break;
        case DownloadResume::Verdict::startOver:
            startOver = true;
            return std::nullopt;
        case DownloadResume::Verdict::other:
            return std::nullopt; // the status tells what went wrong; its body is not wanted
        }
        announced = judgement.expectedTotal;
        if (judgement.expectedTotal > judgement.start) {
            const quint64 needed = quint64(judgement.expectedTotal - judgement.start);
            if (!m_space.allows(needed))
                return refuse(QStringLiteral("there is not enough free space on the disk for the ISO (") + DownloadSpace::neededText(needed)
                              + QStringLiteral(")."));
        }
        if (judgement.verdict == DownloadResume::Verdict::fresh)
            m_resume.store();
        return judgement.start;
    }

    /// Why the transfer stopped before the server ended it, if it did.
    std::optional<QString> stopReason(const FileDownload &transfer) const
    {
        switch (transfer.stop()) {
        case FileDownload::Stop::none:
        case FileDownload::Stop::cancelled:
            break;
        case FileDownload::Stop::refused:
            return m_refusal;
        case FileDownload::Stop::outOfSpace:
            return QStringLiteral("the disk ran out of free space after %1 bytes.").arg(transfer.received());
        case FileDownload::Stop::writeFailed:
            return transfer.errorString();
        }
        return std::nullopt;
    }

    /// The whole file's length; below 0 when the answer did not say.
    std::atomic<qint64> announced = -1;
    /// The answer cannot continue the partial file: the next transfer starts from zero.
    std::atomic<bool> startOver = false;

private:
    std::nullopt_t refuse(const QString &reason)
    {
        m_refusal = reason;
        return std::nullopt;
    }

    DownloadResume &m_resume;
    const DownloadSpace &m_space;
    std::optional<QString> m_refusal;
};

/// Targets with a run in progress: two runs must never write into one partial file.
QSet<QString> &runningTargets()
{
    static QSet<QString> targets;
    return targets;
}
} // namespace

LinuxISODownload::LinuxISODownload(DownloadSpace::Measure availableSpace, QObject *parent)
    : QObject(parent)
    , m_availableSpace(std::move(availableSpace))
{
}

QString LinuxISODownload::partialURL(const QString &target)
{
    const QFileInfo info(target);
    return info.path() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".download");
}

QString LinuxISODownload::resumeDataURL(const QString &target)
{
    return partialURL(target) + QStringLiteral(".resumeData");
}

void LinuxISODownload::cancel()
{
    m_cancelled = true;
    if (m_transfer)
        m_transfer->cancel();
}

QCoro::Task<> LinuxISODownload::run(QUrl url, QString target, ProgressHandler progress)
{
    m_cancelled = false;
    const QString key = QFileInfo(target).absoluteFilePath();
    if (runningTargets().contains(key))
        throw downloadFailure(QStringLiteral("this ISO is already being downloaded."));
    runningTargets().insert(key);
    const auto release = qScopeGuard([key] { runningTargets().remove(key); });

    // A partial file that turns out to belong to another version is dropped, and the file is fetched again whole.
    if (co_await transfer(url, target, progress, true) == Pass::startOver)
        co_await transfer(url, target, progress, false);
}

QCoro::Task<LinuxISODownload::Pass> LinuxISODownload::transfer(QUrl url, QString target, ProgressHandler progress, bool mayStartOver)
{
    DownloadResume resume(url, partialURL(target), resumeDataURL(target));
    bool keepPartial = true;
    const auto cleanUp = qScopeGuard([&] {
        // What arrived stays only when a later run can tell that the rest it gets belongs to it.
        if (!keepPartial || !resume.canResume())
            resume.discard();
    });
    const DownloadSpace space(QFileInfo(target).absolutePath(), m_availableSpace);
    AnswerCheck answer(resume, space);
    FileDownload transfer(FileDownload::Request{url, resume.rangeHeaders(), m_idleTimeout, wholeTimeout}, resume.partialPath(), space,
                          [&](const HttpAnswer &headers) { return answer.judge(headers); }, {}, resume.offset());
    m_transfer = &transfer;
    const QPointer<LinuxISODownload> self(this);
    const auto forget = qScopeGuard([&] {
        if (self)
            m_transfer = nullptr;
    });
    QTimer reports;
    QObject::connect(&reports, &QTimer::timeout, &reports, [&] {
        if (progress)
            progress(transfer.received(), answer.announced);
    });
    reports.start(progressInterval);
    co_await transfer.run();
    reports.stop();

    if (!self || m_cancelled)
        throw VirtualMachineError(VirtualMachineError::Case::userCancelled);
    if (answer.startOver) {
        keepPartial = false;
        if (mayStartOver)
            co_return Pass::startOver;
        throw downloadFailure(QStringLiteral("the server sent a part of another version of the file."));
    }
    std::optional<QString> failure = answer.stopReason(transfer);
    if (!failure)
        failure = unsuccessful(transfer);
    if (failure && resume.canResume()) {
        if (!failure->endsWith(QLatin1Char('.')))
            *failure += QLatin1Char('.');
        *failure += QStringLiteral(" Retry again to continue from the saved partial download.");
    }
    if (failure)
        throw downloadFailure(*failure);
    if (progress)
        progress(transfer.received(), answer.announced);
    // Whatever the body holds now, it is not the start of a whole image: it does not stay to be resumed.
    keepPartial = false;
    if (answer.announced >= 0 && answer.announced != transfer.received())
        throw downloadFailure(QStringLiteral("the server sent %1 of %2 bytes.").arg(transfer.received()).arg(answer.announced.load()));
    if (!ISO9660Volume::isComplete(resume.partialPath()))
        throw downloadFailure(QStringLiteral("the file is not a complete ISO 9660 image."));
    if (std::rename(QFile::encodeName(resume.partialPath()).constData(), QFile::encodeName(target).constData()) != 0)
        throw downloadFailure(QStringLiteral("the file could not be moved into place."));
    resume.forget();
    co_return Pass::finished;
}
