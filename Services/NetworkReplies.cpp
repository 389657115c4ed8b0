// SPDX-License-Identifier: MIT
#include "NetworkReplies.h"

#include "HttpAnswer.h"
#include "SignalWaiter.h"

#include <QNetworkRequest>


namespace NetworkReplies {

namespace {

// Kept out of the coroutine: with UBSan and no optimisation, g++ 12 crashes on a local enumeration inside one.
enum ReplyOutcome { finished, failed, deleted };

const char *const notDecompressedText = "The server's compressed answer could not be unpacked: it is damaged, or it would inflate far beyond its size.";

QCoro::Task<bool> waitForEnd(QNetworkReply *reply, std::chrono::milliseconds timeout, bool orError)
{
    if (reply->isFinished() || (orError && reply->error() != QNetworkReply::NoError))
        co_return true;
    SignalWaiter waiter;
    waiter.watch(reply, &QNetworkReply::finished, finished);
    if (orError)
        waiter.watch(reply, &QNetworkReply::errorOccurred, failed);
    waiter.watchDestruction(reply, deleted);
    co_return (co_await waiter.wait(timeout)).has_value();
}

} // namespace

QCoro::Task<bool> waitForReply(QNetworkReply *reply, std::chrono::milliseconds timeout)
{
    return waitForEnd(reply, timeout, false);
}

QCoro::Task<bool> waitForReplyOrError(QNetworkReply *reply, std::chrono::milliseconds timeout)
{
    return waitForEnd(reply, timeout, true);
}

std::optional<int> httpStatus(const QNetworkReply &reply)
{
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return std::nullopt;
    return status.toInt();
}

std::optional<qint64> announcedLength(const QNetworkReply &reply)
{
    if (!reply.hasRawHeader("Content-Length"))
        return std::nullopt;
    return strictContentLength(reply.rawHeader("Content-Length"));
}

std::runtime_error timedOut()
{
    return std::runtime_error("The request timed out.");
}

std::runtime_error transportError(const QNetworkReply &reply)
{
    // A transfer time-out aborts the reply, which Qt reports as cancelled.
    if (reply.error() == QNetworkReply::OperationCanceledError || reply.error() == QNetworkReply::TimeoutError)
        return timedOut();
    // Qt's own text for a body that does not inflate names no cause.
    if (reply.error() == QNetworkReply::UnknownContentError && reply.errorString().startsWith(QLatin1String("Decompression failed")))
        return std::runtime_error(notDecompressedText);
    return std::runtime_error(reply.errorString().toStdString());
}

bool isTransient(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::UnknownNetworkError:
        return true;
    default:
        return false;
    }
}

} // namespace NetworkReplies
