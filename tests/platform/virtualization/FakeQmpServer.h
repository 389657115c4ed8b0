// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QLocalServer>
#include <QLocalSocket>
#include <QObject>
#include <QPointer>

#include <functional>

/**
 * A scripted QEMU monitor on a unix socket: it accepts one client, greets
 * it (unless told to wait), records every line the client sends and answers
 * each command with the lines its responder returns. The default responder
 * answers every command with an empty success.
 */
class FakeQmpServer final : public QObject
{
public:
    using Responder = std::function<QList<QByteArray>(const QJsonObject &command)>;

    explicit FakeQmpServer(const QString &path, bool greetOnConnect = true)
        : m_greetOnConnect(greetOnConnect)
    {
        QLocalServer::removeServer(path);
        m_server.listen(path);
        connect(&m_server, &QLocalServer::newConnection, this, [this] {
            m_client = m_server.nextPendingConnection();
            connect(m_client, &QLocalSocket::readyRead, this, [this] { readLines(); });
            if (m_greetOnConnect)
                greet();
        });
    }

    void setResponder(Responder responder) { m_responder = std::move(responder); }

    void greet() { send(R"({"QMP": {"version": {"qemu": {"micro": 0, "minor": 2, "major": 7}}, "capabilities": []}})"); }
    /// Sends one message line.
    void send(const QByteArray &line) { sendRaw(line + "\r\n"); }
    void sendRaw(const QByteArray &bytes)
    {
        if (m_client)
            m_client->write(bytes);
    }
    void disconnectClient()
    {
        if (m_client)
            m_client->disconnectFromServer();
    }

    bool hasClient() const { return m_client; }
    const QList<QJsonObject> &received() const { return m_received; }
    QList<QString> receivedCommands() const
    {
        QList<QString> names;
        for (const QJsonObject &message : m_received)
            names << message.value(QStringLiteral("execute")).toString();
        return names;
    }

    static QByteArray reply(const QJsonObject &command, const QJsonValue &value = QJsonObject())
    {
        return line({{QStringLiteral("return"), value}, {QStringLiteral("id"), command.value(QStringLiteral("id"))}});
    }
    static QByteArray errorReply(const QJsonObject &command, const QString &errorClass, const QString &description)
    {
        const QJsonObject error{{QStringLiteral("class"), errorClass}, {QStringLiteral("desc"), description}};
        return line({{QStringLiteral("error"), error}, {QStringLiteral("id"), command.value(QStringLiteral("id"))}});
    }
    static QByteArray event(const QString &name, const QJsonObject &data = {})
    {
        return line({{QStringLiteral("event"), name}, {QStringLiteral("data"), data}});
    }
    static QByteArray line(const QJsonObject &message) { return QJsonDocument(message).toJson(QJsonDocument::Compact); }

private:
    void readLines()
    {
        m_buffer += m_client->readAll();
        qsizetype newline;
        while ((newline = m_buffer.indexOf('\n')) >= 0) {
            const QJsonObject message = QJsonDocument::fromJson(m_buffer.left(newline)).object();
            m_buffer.remove(0, newline + 1);
            m_received << message;
            for (const QByteArray &answer : m_responder(message))
                send(answer);
        }
    }

    QLocalServer m_server;
    QPointer<QLocalSocket> m_client;
    QByteArray m_buffer;
    QList<QJsonObject> m_received;
    bool m_greetOnConnect;
    Responder m_responder = [](const QJsonObject &command) { return QList<QByteArray>{reply(command)}; };
};
