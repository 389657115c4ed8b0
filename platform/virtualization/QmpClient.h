// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QCoroTask>
#include <QJsonObject>
#include <QJsonValue>
#include <QLocalSocket>
#include <QObject>
#include <QString>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

class SignalWaiter;

/**
 * Speaks QEMU's machine protocol (QMP) over its unix monitor socket. One
 * client per running machine. It writes nothing before QEMU's greeting and
 * negotiates capabilities before any other command; commands run one at a
 * time in the order given, each with an id ("zovozu-N") that its reply must
 * carry; events are read all the time and handed to the event handler.
 *
 * Any failure of the connection (end of file, an I/O or protocol error, a
 * command left unanswered) closes it for good: the command in flight, the
 * queued ones and every later one fail with that first error, and the
 * closed handler hears of it once. GUI thread only.
 *
 * @code
 * QmpClient monitor({.event = [this](const QmpClient::Event &e) { apply(e); },
 *                    .closed = [this](const QString &why) { monitorLost(why); }});
 * co_await monitor.connectToMonitor(directory.monitorSocketPath(), [&] { return qemu.isRunning(); });
 * co_await monitor.execute(QStringLiteral("cont"));
 * @endcode
 */
class QmpClient final : public QObject
{
    Q_OBJECT

public:
    struct Event {
        QString name;
        QJsonObject data;
    };

    /// A failed command: QEMU's error class and description, or (class empty) a failed connection.
    class Error : public std::runtime_error
    {
    public:
        Error(QString command, QString errorClass, const QString &description);

        const QString &command() const { return m_command; }
        const QString &errorClass() const { return m_errorClass; }
        QString description() const { return m_description; }

    private:
        QString m_command;
        QString m_errorClass;
        QString m_description;
    };

    struct Handlers {
        std::function<void(const Event &)> event;
        /// Called once when an established connection fails; not when close() ends it, nor while connecting.
        std::function<void(const QString &reason)> closed;
    };

    /// Messages longer than this are a protocol error rather than a reason to keep buffering.
    static constexpr qsizetype maximumMessageSize = 10 * 1024 * 1024;

    /// Both handlers are required.
    explicit QmpClient(Handlers handlers, QObject *parent = nullptr);
    ~QmpClient() override;

    /**
     * Connects to the monitor socket, waits for the greeting and negotiates
     * capabilities, all within `timeout`. A socket that is missing or refuses
     * the connection is tried again, with growing pauses, while `peerAlive`
     * says the QEMU process still runs. Throws Error.
     */
    QCoro::Task<> connectToMonitor(QString socketPath, std::function<bool()> peerAlive,
                                   std::chrono::milliseconds timeout = std::chrono::seconds(30));

    /**
     * Runs `command` once the commands before it have their replies, and
     * returns the value of its reply's "return". A QMP error reply is thrown
     * as Error with QEMU's class and description. No reply within `timeout`
     * closes the connection, since no later reply could be matched any more.
     */
    QCoro::Task<QJsonValue> execute(QString command, QJsonObject arguments = QJsonObject(),
                                    std::chrono::milliseconds timeout = std::chrono::seconds(30));

    bool isConnected() const { return m_ready && !m_failure; }
    /// Why the connection ended; none while it works.
    const std::optional<QString> &failure() const { return m_failure; }

    /// Ends the connection without calling the closed handler; pending commands fail.
    void close();

Q_SIGNALS:
    /// Every event, after the event handler has seen it.
    void eventReceived(const QmpClient::Event &event);

private:
    struct PendingCommand;

    void readIncoming();
    void handleLine(const QByteArray &line);
    void handleReply(const QJsonObject &message);
    void sendNext();
    /// Closes the connection with `reason`; the closed handler is told when `notify`.
    void fail(const QString &reason, bool notify = true);

    Handlers m_handlers;
    QLocalSocket m_socket;
    QByteArray m_buffer;
    bool m_greeted = false;
    bool m_ready = false;
    std::optional<QString> m_failure;
    quint64 m_lastCommandNumber = 0;
    std::deque<std::shared_ptr<PendingCommand>> m_queue;
    std::shared_ptr<PendingCommand> m_inFlight;
    std::shared_ptr<SignalWaiter> m_greetingWaiter;
};
