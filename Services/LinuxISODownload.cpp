// SPDX-License-Identifier: MIT
#include "LinuxISODownload.h"

#include "ISO9660Volume.h"
#include "NetworkReplies.h"
#include "ReplyGuard.h"
#include "ReplyToFile.h"
#include "VirtualMachineError.h"

#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QScopeGuard>

#include <chrono>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <utility>

using namespace std::chrono_literals;

namespace {
constexpr auto idleTimeout = 300s;
constexpr auto wholeTimeout = 7200s;
/// What the network layer may hold in memory before it stops reading from the socket.
constexpr qint64 readBufferSize = 1024 * 1024;

std::runtime_error downloadFailure(const QString &reason)
{
    return std::runtime_error((QStringLiteral("Linux ISO download failed: ") + reason).toStdString());
}

/// Removes the partial file unless the download was completed and renamed.
class PartialFile
{
public:
    explicit PartialFile(const QString &path)
        : m_file(path)
    {
    }
    ~PartialFile()
    {
        m_file.close();
        if (!m_kept)
            QFile::remove(m_file.fileName());
    }
    PartialFile(const PartialFile &) = delete;
    PartialFile &operator=(const PartialFile &) = delete;

    QFile &file() { return m_file; }
    void keep() { m_kept = true; }

private:
    QFile m_file;
    bool m_kept = false;
};

QNetworkRequest isoRequest(const QUrl &url)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(int(std::chrono::milliseconds(idleTimeout).count()));
    return request;
}

/// Throws unless the reply ended with a 2xx answer and no transfer error.
void checkSuccess(const QNetworkReply &reply)
{
    const std::optional<int> status = NetworkReplies::httpStatus(reply);
    if (status && (*status < 200 || *status > 299))
        throw downloadFailure(QStringLiteral("HTTP %1").arg(*status));
    if (reply.error() != QNetworkReply::NoError)
        throw downloadFailure(reply.errorString());
}

/// Renames the partial file into place once it holds a whole ISO 9660 image.
void moveCompleteImage(PartialFile &partial, const QString &target)
{
    if (!ISO9660Volume::isComplete(partial.file().fileName()))
        throw downloadFailure(QStringLiteral("the file is not a complete ISO 9660 image."));
    if (std::rename(QFile::encodeName(partial.file().fileName()).constData(), QFile::encodeName(target).constData()) != 0)
        throw downloadFailure(QStringLiteral("the file could not be moved into the VM bundle."));
    partial.keep();
}

/// Judges the answer's headers, and turns a transfer that stopped early into the sentence a user reads.
class AnswerCheck
{
public:
    explicit AnswerCheck(const DownloadSpace &space)
        : m_space(space)
    {
    }

    std::optional<qint64> judge(const QNetworkReply &answer)
    {
        const std::optional<int> status = NetworkReplies::httpStatus(answer);
        if (!status || *status < 200 || *status > 299)
            return std::nullopt; // the status tells what went wrong; its body is not wanted
        try {
            announced = NetworkReplies::announcedLength(answer);
        } catch (const std::runtime_error &) {
            return refuse(QStringLiteral("the server announced an invalid length."));
        }
        if (announced && !m_space.allows(quint64(*announced)))
            return refuse(QStringLiteral("there is not enough free space on the disk for the ISO (%1 bytes are needed).").arg(*announced));
        return 0;
    }

    void checkStop(const ReplyToFile &transfer) const
    {
        switch (transfer.stop()) {
        case ReplyToFile::Stop::none:
        case ReplyToFile::Stop::cancelled:
            return;
        case ReplyToFile::Stop::refused:
            if (m_refusal)
                throw downloadFailure(*m_refusal);
            return;
        case ReplyToFile::Stop::outOfSpace:
            throw downloadFailure(QStringLiteral("the disk ran out of free space after %1 bytes.").arg(transfer.received()));
        case ReplyToFile::Stop::writeFailed:
            throw downloadFailure(transfer.errorString());
        }
    }

    /// The length the answer announced, if any.
    std::optional<qint64> announced;

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

LinuxISODownload::LinuxISODownload(QNetworkAccessManager &network, DownloadSpace::Measure availableSpace, QObject *parent)
    : QObject(parent)
    , m_network(network)
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
    if (!partial.file().open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw downloadFailure(partial.file().errorString());
    const DownloadSpace space(QFileInfo(target).absolutePath(), m_availableSpace);

    const ReplyGuard reply(m_network.get(isoRequest(url)));
    reply.get()->setReadBufferSize(readBufferSize);
    AnswerCheck answer(space);
    ReplyToFile transfer(reply.get(), partial.file(), space, [&](QNetworkReply &headers) { return answer.judge(headers); });
    m_transfer = &transfer;
    const QPointer<LinuxISODownload> self(this);
    const auto forget = qScopeGuard([&] {
        if (self)
            m_transfer = nullptr;
    });
    connect(reply.get(), &QNetworkReply::downloadProgress, this, [&](qint64 bytes, qint64 total) {
        if (progress)
            progress(bytes, total);
    });
    const bool finished = co_await NetworkReplies::waitForReply(reply.get(), wholeTimeout);
    if (reply.get())
        disconnect(reply.get(), nullptr, this, nullptr);

    if (m_cancelled)
        throw VirtualMachineError(VirtualMachineError::Case::userCancelled);
    if (!finished)
        throw downloadFailure(QString::fromStdString(NetworkReplies::timedOut().what()));
    if (!reply.get())
        throw downloadFailure(QStringLiteral("The transfer was interrupted."));
    answer.checkStop(transfer);
    checkSuccess(*reply.get());
    transfer.finish();
    answer.checkStop(transfer);
    if (answer.announced && *answer.announced != transfer.received())
        throw downloadFailure(QStringLiteral("the server sent %1 of %2 bytes.").arg(transfer.received()).arg(*answer.announced));
    moveCompleteImage(partial, target);
}
