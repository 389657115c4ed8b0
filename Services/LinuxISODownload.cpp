// SPDX-License-Identifier: MIT
#include "LinuxISODownload.h"

#include "ISO9660Volume.h"
#include "NetworkReplies.h"
#include "ReplyGuard.h"
#include "VirtualMachineError.h"

#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

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
    if (m_reply)
        m_reply->abort();
}

QCoro::Task<> LinuxISODownload::run(QUrl url, QString target, ProgressHandler progress)
{
    m_cancelled = false;
    PartialFile partial(partialURL(target));
    if (!partial.file().open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw downloadFailure(partial.file().errorString());
    const DownloadSpace space(QFileInfo(target).absolutePath(), m_availableSpace);

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(int(std::chrono::milliseconds(idleTimeout).count()));
    const ReplyGuard reply(m_network.get(request));
    reply.get()->setReadBufferSize(readBufferSize);
    m_reply = reply.get();

    qint64 received = 0;
    std::optional<qint64> announced;
    bool writeFailed = false;
    std::optional<QString> refusal;
    const auto refuse = [&](const QString &reason) {
        refusal = reason;
        reply.get()->abort();
    };
    const auto isSuccess = [&] {
        const std::optional<int> status = NetworkReplies::httpStatus(*reply.get());
        return status && *status >= 200 && *status <= 299;
    };
    connect(reply.get(), &QNetworkReply::metaDataChanged, this, [&] {
        const std::optional<int> status = NetworkReplies::httpStatus(*reply.get());
        if (!status || (*status >= 300 && *status <= 399) || refusal)
            return; // a redirect the network layer follows
        if (!isSuccess()) {
            reply.get()->abort(); // the status tells what went wrong; its body is not wanted
            return;
        }
        try {
            announced = NetworkReplies::announcedLength(*reply.get());
        } catch (const std::runtime_error &) {
            return refuse(QStringLiteral("the server announced an invalid length."));
        }
        if (announced && !space.allows(quint64(*announced)))
            refuse(QStringLiteral("there is not enough free space on the disk for the ISO (%1 bytes are needed).").arg(*announced));
    });
    const auto drain = [&] {
        const QByteArray data = reply.get()->readAll();
        if (writeFailed || refusal || data.isEmpty() || !isSuccess())
            return;
        if (!space.allows(quint64(data.size())))
            return refuse(QStringLiteral("the disk ran out of free space after %1 bytes.").arg(received));
        if (partial.file().write(data) != data.size()) {
            writeFailed = true;
            reply.get()->abort();
            return;
        }
        received += data.size();
    };
    connect(reply.get(), &QNetworkReply::readyRead, this, drain);
    connect(reply.get(), &QNetworkReply::downloadProgress, this, [&](qint64 bytes, qint64 total) {
        if (progress)
            progress(bytes, total);
    });
    const bool finished = co_await NetworkReplies::waitForReply(reply.get(), wholeTimeout);
    if (reply.get())
        disconnect(reply.get(), nullptr, this, nullptr);
    m_reply = nullptr;

    if (m_cancelled)
        throw VirtualMachineError(VirtualMachineError::Case::userCancelled);
    if (!finished)
        throw downloadFailure(QString::fromStdString(NetworkReplies::timedOut().what()));
    if (!reply.get())
        throw downloadFailure(QStringLiteral("The transfer was interrupted."));
    if (refusal)
        throw downloadFailure(*refusal);
    if (writeFailed)
        throw downloadFailure(partial.file().errorString());
    const std::optional<int> status = NetworkReplies::httpStatus(*reply.get());
    if (status && (*status < 200 || *status > 299))
        throw downloadFailure(QStringLiteral("HTTP %1").arg(*status));
    if (reply.get()->error() != QNetworkReply::NoError)
        throw downloadFailure(reply.get()->errorString());
    drain();
    if (refusal)
        throw downloadFailure(*refusal);
    if (writeFailed)
        throw downloadFailure(partial.file().errorString());
    if (announced && *announced != received)
        throw downloadFailure(QStringLiteral("the server sent %1 of %2 bytes.").arg(received).arg(*announced));
    if (!partial.file().flush())
        throw downloadFailure(partial.file().errorString());
    partial.file().close();
    if (!ISO9660Volume::isComplete(partial.file().fileName()))
        throw downloadFailure(QStringLiteral("the file is not a complete ISO 9660 image."));
    if (std::rename(QFile::encodeName(partial.file().fileName()).constData(), QFile::encodeName(target).constData()) != 0)
        throw downloadFailure(QStringLiteral("the file could not be moved into the VM bundle."));
    partial.keep();
}
