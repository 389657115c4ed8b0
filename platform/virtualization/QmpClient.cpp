// SPDX-License-Identifier: MIT
#include "QmpClient.h"

#include "SignalWaiter.h"

#include <QCoroTimer>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLoggingCategory>
#include <QPointer>

#include <algorithm>

namespace {

Q_LOGGING_CATEGORY(qmpLog, "zovozu.qmp", QtInfoMsg)

const QString capabilitiesCommand = QStringLiteral("qmp_capabilities");

enum Outcome { done, failed };

/// The line that runs `command`; built outside the coroutine, where GCC 12 mishandles braced initialisation.
QByteArray commandMessage(const QString &id, const QString &command, const QJsonObject &arguments)
{
    QJsonObject message{{QStringLiteral("execute"), command}, {QStringLiteral("id"), id}};
    if (!arguments.isEmpty())
        message.insert(QStringLiteral("arguments"), arguments);
    return QJsonDocument(message).toJson(QJsonDocument::Compact) + "\r\n";
}

QmpClient::Error connectionError(const QString &description)
{
    return QmpClient::Error(QString(), QString(), description);
}

std::chrono::milliseconds remaining(const QDeadlineTimer &deadline)
{
    return std::chrono::milliseconds(std::max<qint64>(deadline.remainingTime(), 0));
}

} // namespace

struct QmpClient::PendingCommand {
    QString id;
    QString name;
    QByteArray message;
    std::optional<QJsonValue> result;
    std::optional<Error> error;
    SignalWaiter finished;
};

QmpClient::Error::Error(QString command, QString errorClass, const QString &description)
    : std::runtime_error((command.isEmpty() ? description : command + QStringLiteral(": ") + description).toStdString())
    , m_command(std::move(command))
    , m_errorClass(std::move(errorClass))
    , m_description(description)
{
}

QmpClient::QmpClient(Handlers handlers, QObject *parent)
    : QObject(parent)
    , m_handlers(std::move(handlers))
{
    Q_ASSERT(m_handlers.event && m_handlers.closed);
    connect(&m_socket, &QLocalSocket::readyRead, this, &QmpClient::readIncoming);
    connect(&m_socket, &QLocalSocket::disconnected, this, [this] {
        // Our own abort() ends the connection too; what it leaves unread is of no interest.
        if (m_failure)
            return;
        readIncoming();
        fail(QStringLiteral("QEMU closed its monitor connection."));
    });
    connect(&m_socket, &QLocalSocket::errorOccurred, this, [this](QLocalSocket::LocalSocketError error) {
        // While connecting, connectToMonitor() handles errors itself.
        if (m_failure || (!m_ready && !m_greetingWaiter))
            return;
        if (error == QLocalSocket::PeerClosedError)
            readIncoming();
        fail(QStringLiteral("QEMU's monitor connection failed: %1").arg(m_socket.errorString()));
    });
}

QmpClient::~QmpClient()
{
    m_socket.disconnect(this);
    fail(QStringLiteral("The monitor connection was closed."), false);
}

QCoro::Task<> QmpClient::connectToMonitor(QString socketPath, std::function<bool()> peerAlive, std::chrono::milliseconds timeout)
{
    const QPointer<QmpClient> self(this);
    const QDeadlineTimer deadline(timeout);
    const QString abandonedText = QStringLiteral("The connection to QEMU's monitor was abandoned.");
    std::chrono::milliseconds pause(10);
    while (true) {
        SignalWaiter waiter;
        waiter.watch(&m_socket, &QLocalSocket::connected, done);
        waiter.watch(&m_socket, &QLocalSocket::errorOccurred, failed);
        m_socket.connectToServer(socketPath);
        const auto outcome = co_await waiter.wait(remaining(deadline));
        if (!self)
            throw connectionError(abandonedText);
        if (outcome == done)
            break;
        const QLocalSocket::LocalSocketError error = m_socket.error();
        const QString description = outcome ? m_socket.errorString() : QStringLiteral("timed out");
        m_socket.abort();
        const bool retry = error == QLocalSocket::ServerNotFoundError || error == QLocalSocket::ConnectionRefusedError;
        if (!outcome || !retry || !peerAlive() || deadline.hasExpired())
            throw connectionError(QStringLiteral("QEMU's monitor at %1 could not be reached: %2").arg(socketPath, description));
        co_await QCoro::sleepFor(std::min(pause, remaining(deadline)));
        if (!self)
            throw connectionError(abandonedText);
        pause = std::min(pause * 2, std::chrono::milliseconds(500));
    }

    const auto greeting = std::make_shared<SignalWaiter>();
    m_greetingWaiter = greeting;
    if (m_greeted)
        greeting->settle(done);
    const auto outcome = co_await greeting->wait(remaining(deadline));
    if (!self)
        throw connectionError(abandonedText);
    m_greetingWaiter.reset();
    if (outcome != done) {
        const QString reason = m_failure.value_or(QStringLiteral("QEMU sent no greeting on its monitor."));
        fail(reason, false);
        throw connectionError(reason);
    }
    m_ready = true;
    co_await execute(capabilitiesCommand, QJsonObject(), remaining(deadline));
}

QCoro::Task<QJsonValue> QmpClient::execute(QString command, QJsonObject arguments, std::chrono::milliseconds timeout)
{
    const QPointer<QmpClient> self(this);
    if (m_failure)
        throw Error(command, QString(), *m_failure);
    if (!m_ready)
        throw Error(command, QString(), QStringLiteral("QEMU's monitor is not connected."));

    const auto pending = std::make_shared<PendingCommand>();
    pending->id = QStringLiteral("zovozu-%1").arg(++m_lastCommandNumber);
    pending->name = command;
    pending->message = commandMessage(pending->id, command, arguments);
    m_queue.push_back(pending);
    sendNext();

    const auto outcome = co_await pending->finished.wait(timeout);
    if (!outcome) {
        const QString reason = QStringLiteral("QEMU did not answer %1 within %2 seconds.").arg(command).arg(timeout.count() / 1000.0);
        if (self)
            self->fail(reason);
        throw Error(command, QString(), reason);
    }
    if (pending->error)
        throw *pending->error;
    co_return *pending->result;
}

void QmpClient::close()
{
    fail(QStringLiteral("The monitor connection was closed."), false);
}

void QmpClient::readIncoming()
{
    m_buffer += m_socket.readAll();
    qsizetype start = 0;
    while (!m_failure) {
        const qsizetype end = m_buffer.indexOf('\n', start);
        if (end < 0)
            break;
        const QByteArray line = m_buffer.mid(start, end - start).trimmed();
        start = end + 1;
        if (!line.isEmpty())
            handleLine(line);
    }
    if (m_failure)
        return;
    m_buffer.remove(0, start);
    if (m_buffer.size() > maximumMessageSize)
        fail(QStringLiteral("QEMU's monitor sent a message longer than %1 bytes.").arg(maximumMessageSize));
}

void QmpClient::handleLine(const QByteArray &line)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(line, &parseError);
    if (!document.isObject()) {
        fail(QStringLiteral("QEMU's monitor sent something that is not a JSON object: %1").arg(parseError.errorString()));
        return;
    }
    const QJsonObject message = document.object();
    if (message.contains(QStringLiteral("QMP"))) {
        qCDebug(qmpLog) << "greeting" << line;
        m_greeted = true;
        if (m_greetingWaiter)
            m_greetingWaiter->settle(done);
        sendNext();
    } else if (message.contains(QStringLiteral("event"))) {
        qCDebug(qmpLog) << "event" << line;
        const Event event{message.value(QStringLiteral("event")).toString(), message.value(QStringLiteral("data")).toObject()};
        m_handlers.event(event);
        Q_EMIT eventReceived(event);
    } else if (message.contains(QStringLiteral("return")) || message.contains(QStringLiteral("error"))) {
        handleReply(message);
    } else {
        qCWarning(qmpLog) << "ignoring an unknown message from QEMU's monitor:" << line;
    }
}

void QmpClient::handleReply(const QJsonObject &message)
{
    const QString id = message.value(QStringLiteral("id")).toString();
    if (!m_inFlight) {
        fail(QStringLiteral("QEMU's monitor answered a command that was never sent (id \"%1\").").arg(id));
        return;
    }
    if (id != m_inFlight->id) {
        fail(QStringLiteral("QEMU's monitor answered \"%1\" while \"%2\" was waiting.").arg(id, m_inFlight->id));
        return;
    }
    const std::shared_ptr<PendingCommand> command = std::exchange(m_inFlight, nullptr);
    qCDebug(qmpLog) << "reply to" << command->name << QJsonDocument(message).toJson(QJsonDocument::Compact);
    if (message.contains(QStringLiteral("error"))) {
        const QJsonObject error = message.value(QStringLiteral("error")).toObject();
        command->error.emplace(command->name, error.value(QStringLiteral("class")).toString(), error.value(QStringLiteral("desc")).toString());
    } else {
        command->result = message.value(QStringLiteral("return"));
    }
    command->finished.settle(done);
    sendNext();
}

void QmpClient::sendNext()
{
    if (m_inFlight || m_queue.empty() || !m_greeted || m_failure)
        return;
    m_inFlight = m_queue.front();
    m_queue.pop_front();
    qCDebug(qmpLog) << "sending" << m_inFlight->message.trimmed();
    m_socket.write(m_inFlight->message);
}

void QmpClient::fail(const QString &reason, bool notify)
{
    if (m_failure)
        return;
    m_failure = reason;
    qCDebug(qmpLog) << "monitor connection ended:" << reason;
    m_socket.abort();
    m_buffer.clear();
    std::deque<std::shared_ptr<PendingCommand>> abandoned = std::move(m_queue);
    if (m_inFlight)
        abandoned.push_front(std::exchange(m_inFlight, nullptr));
    for (const auto &command : abandoned) {
        command->error.emplace(command->name, QString(), reason);
        command->finished.settle(failed);
    }
    if (m_greetingWaiter)
        m_greetingWaiter->settle(failed);
    // Until the connection is up, connectToMonitor() reports failures to its caller.
    if (notify && m_ready)
        m_handlers.closed(reason);
}
