// SPDX-License-Identifier: MIT
#pragma once

#include <QCoroTask>
#include <QNetworkReply>

#include <chrono>
#include <optional>
#include <stdexcept>

/**
 * The small steps every HTTP exchange of the services shares: waiting for a
 * reply with a time limit, reading its status, and turning a failure without
 * an HTTP answer into an error a user can read.
 */
namespace NetworkReplies {

/// Waits up to `timeout` for the reply to finish; false when the time ran out. Also returns when the reply is deleted.
QCoro::Task<bool> waitForReply(QNetworkReply *reply, std::chrono::milliseconds timeout);

/**
 * waitForReply() that also returns as soon as the reply reports an error,
 * for a reply whose read buffer is bounded: after some failures (a body
 * that does not decompress) the network layer reports the error but never
 * finishes such a reply. The reply may then still be unfinished; its
 * error() and errorString() say what failed.
 */
QCoro::Task<bool> waitForReplyOrError(QNetworkReply *reply, std::chrono::milliseconds timeout);

/// The HTTP status code, or none when no HTTP answer arrived.
std::optional<int> httpStatus(const QNetworkReply &reply);

/**
 * The body length the reply's Content-Length announces; none when the
 * answer has no such header. Throws std::runtime_error when the header is
 * not a decimal number (text, a sign, a negative length, or two values that
 * differ), which the network layer would otherwise read as "no length".
 */
std::optional<qint64> announcedLength(const QNetworkReply &reply);

/// "The request timed out."
std::runtime_error timedOut();

/// The reply failed without an HTTP answer: no connection, a broken transfer, a body that does not decompress, or its idle time-out.
std::runtime_error transportError(const QNetworkReply &reply);

/// True for failures that may pass on a later try: a dropped or refused connection, a time-out, a name that could not be resolved yet.
bool isTransient(QNetworkReply::NetworkError error);

} // namespace NetworkReplies
