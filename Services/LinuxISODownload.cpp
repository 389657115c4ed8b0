// SPDX-License-Identifier: MIT
#include "LinuxISODownload.h"

#include "FileDownload.h"
#include "ISO9660Volume.h"
#include "VirtualMachineError.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
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
constexpr auto idleTimeout = 300s;
constexpr auto wholeTimeout = 7200s;
/// How often the progress handler hears how far the download is.
constexpr auto progressInterval = 300ms;

std::runtime_error downloadFailure(const QString &reason)
{
    return std::runtime_error((QStringLiteral("Linux ISO download failed: ") + reason).toStdString());
}

/// Removes the partial file unless the download was completed and renamed.
class PartialFile
{
public:
    explicit PartialFile(QString path)
        : m_path(std::move(path))
    {
    }
    ~PartialFile()
    {
        if (!m_kept)
            QFile::remove(m_path);
    }
    PartialFile(const PartialFile &) = delete;
    PartialFile &operator=(const PartialFile &) = delete;

    const QString &path() const { return m_path; }
    void keep() { m_kept = true; }

private:
    QString m_path;
    bool m_kept = false;
};

/// Throws unless the transfer ended with a 2xx answer and no transfer error.
void checkSuccess(const FileDownload &transfer)
{
    const int status = transfer.answer() ? transfer.answer()->status : 0;
    if (transfer.isAnswered() && (status < 200 || status > 299))
        throw downloadFailure(QStringLiteral("HTTP %1").arg(status));
    if (transfer.ending() != FileDownload::Ending::complete)
        throw downloadFailure(transfer.errorString());
}

/// Renames the partial file into place once it holds a whole ISO 9660 image.
void moveCompleteImage(PartialFile &partial, const QString &target)
{
    if (!ISO9660Volume::isComplete(partial.path()))
        throw downloadFailure(QStringLiteral("the file is not a complete ISO 9660 image."));
    if (std::rename(QFile::encodeName(partial.path()).constData(), QFile::encodeName(target).constData()) != 0)
        throw downloadFailure(QStringLiteral("the file could not be moved into the VM bundle."));
    partial.keep();
}

/// Judges the answer's headers (on the transfer's thread), and turns a transfer that stopped early into the sentence a user reads.
class AnswerCheck
{
public:
    explicit AnswerCheck(const DownloadSpace &space)
        : m_space(space)
    {
    }

    std::optional<qint64> judge(const HttpAnswer &answer)
    {
        if (answer.status < 200 || answer.status > 299)
            return std::nullopt; // the status tells what went wrong; its body is not wanted
        try {
            announced = answer.announcedLength().value_or(-1);
        } catch (const std::runtime_error &) {
            return refuse(QStringLiteral("the server announced an invalid length."));
        }
        if (announced >= 0 && !m_space.allows(quint64(announced.load())))
            return refuse(QStringLiteral("there is not enough free space on the disk for the ISO (%1 bytes are needed).").arg(announced.load()));
        return 0;
    }

    void checkStop(const FileDownload &transfer) const
    {
        switch (transfer.stop()) {
        case FileDownload::Stop::none:
        case FileDownload::Stop::cancelled:
            return;
        case FileDownload::Stop::refused:
            if (m_refusal)
                throw downloadFailure(*m_refusal);
            return;
        case FileDownload::Stop::outOfSpace:
            throw downloadFailure(QStringLiteral("the disk ran out of free space after %1 bytes.").arg(transfer.received()));
        case FileDownload::Stop::writeFailed:
            throw downloadFailure(transfer.errorString());
        }
    }

    /// The length the answer announced; below 0 when it announced none.
    std::atomic<qint64> announced = -1;

private:
    std::nullopt_t refuse(const QString &reason)
    {
        m_refusal = reason;
        return std::nullopt;
    }

    const DownloadSpace &m_space;
    std::optional<QString> m_refusal;
};
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

void LinuxISODownload::cancel()
{
    m_cancelled = true;
    if (m_transfer)
        m_transfer->cancel();
}

QCoro::Task<> LinuxISODownload::run(QUrl url, QString target, ProgressHandler progress)
{
    m_cancelled = false;
    PartialFile partial(partialURL(target));
    const DownloadSpace space(QFileInfo(target).absolutePath(), m_availableSpace);

    AnswerCheck answer(space);
    FileDownload transfer(FileDownload::Request{url, {}, idleTimeout, wholeTimeout}, partial.path(), space,
                          [&](const HttpAnswer &headers) { return answer.judge(headers); });
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
    answer.checkStop(transfer);
    checkSuccess(transfer);
    if (progress)
        progress(transfer.received(), answer.announced);
    if (answer.announced >= 0 && answer.announced != transfer.received())
        throw downloadFailure(QStringLiteral("the server sent %1 of %2 bytes.").arg(transfer.received()).arg(answer.announced.load()));
    moveCompleteImage(partial, target);
}
