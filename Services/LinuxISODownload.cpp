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
#include <stdexcept>

using namespace std::chrono_literals;

namespace {
constexpr auto idleTimeout = 300s;
constexpr auto wholeTimeout = 7200s;

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

LinuxISODownload::LinuxISODownload(QNetworkAccessManager &network, QObject *parent)
    : QObject(parent)
    , m_network(network)
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

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(int(std::chrono::milliseconds(idleTimeout).count()));
    const ReplyGuard reply(m_network.get(request));
    m_reply = reply.get();

    qint64 received = 0;
    bool writeFailed = false;
    const auto drain = [&] {
        const QByteArray data = reply.get()->readAll();
        if (writeFailed || data.isEmpty())
            return;
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
    if (writeFailed)
        throw downloadFailure(partial.file().errorString());
    const std::optional<int> status = NetworkReplies::httpStatus(*reply.get());
    if (status && (*status < 200 || *status > 299))
        throw downloadFailure(QStringLiteral("HTTP %1").arg(*status));
    if (reply.get()->error() != QNetworkReply::NoError)
        throw downloadFailure(reply.get()->errorString());
    drain();
    if (writeFailed)
        throw downloadFailure(partial.file().errorString());
    const QVariant announced = reply.get()->header(QNetworkRequest::ContentLengthHeader);
    if (announced.isValid() && announced.toLongLong() != received)
        throw downloadFailure(QStringLiteral("the server sent %1 of %2 bytes.").arg(received).arg(announced.toLongLong()));
    if (!partial.file().flush())
        throw downloadFailure(partial.file().errorString());
    partial.file().close();
    if (!ISO9660Volume::isComplete(partial.file().fileName()))
        throw downloadFailure(QStringLiteral("the file is not a complete ISO 9660 image."));
    if (std::rename(QFile::encodeName(partial.file().fileName()).constData(), QFile::encodeName(target).constData()) != 0)
        throw downloadFailure(QStringLiteral("the file could not be moved into the VM bundle."));
    partial.keep();
}
