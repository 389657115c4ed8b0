// SPDX-License-Identifier: MIT
// A stand-in for qemu-system-aarch64 that runs no guest: it serves the
// monitor socket named on its command line, appends the name of every
// command it receives to the file in FAKE_QEMU_COMMANDS, keeps the run state
// QEMU would report, and ends each migration with the status in
// FAKE_QEMU_MIGRATION ("completed" unless told otherwise). Like QEMU, it lets
// a guest that ran when a migration began run on when the migration fails.
// Its balloon's guest driver takes free-page hints when FAKE_QEMU_BALLOON_DRIVER is set.

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>

#include <memory>

namespace {

QString monitorPath(const QStringList &arguments)
{
    const QString prefix = QStringLiteral("socket,id=monitor,path=");
    for (qsizetype index = 0; index + 1 < arguments.size(); ++index) {
        if (arguments[index] == QLatin1String("-chardev") && arguments[index + 1].startsWith(prefix))
            return arguments[index + 1].mid(prefix.size()).section(QLatin1Char(','), 0, 0);
    }
    return {};
}

class FakeMonitor final : public QObject
{
public:
    explicit FakeMonitor(QLocalSocket *client)
        : m_client(client)
        , m_migrationOutcome(qEnvironmentVariable("FAKE_QEMU_MIGRATION", QStringLiteral("completed")))
    {
        connect(m_client, &QLocalSocket::readyRead, this, &FakeMonitor::readCommands);
        connect(m_client, &QLocalSocket::disconnected, qApp, &QCoreApplication::quit);
        send({{QStringLiteral("QMP"), QJsonObject{{QStringLiteral("version"), QJsonObject()}, {QStringLiteral("capabilities"), QJsonArray()}}}});
    }

private:
    void readCommands()
    {
        while (m_client->canReadLine()) {
            const QJsonObject command = QJsonDocument::fromJson(m_client->readLine()).object();
            const QString name = command.value(QStringLiteral("execute")).toString();
            record(name);
            answer(command, name);
        }
    }

    void answer(const QJsonObject &command, const QString &name)
    {
        QJsonObject result;
        if (name == QLatin1String("cont")) {
            m_status = QStringLiteral("running");
        } else if (name == QLatin1String("stop")) {
            m_status = QStringLiteral("paused");
        } else if (name == QLatin1String("query-status")) {
            result.insert(QStringLiteral("status"), m_status);
        } else if (name == QLatin1String("x-query-virtio-status")) {
            QJsonArray features;
            if (qEnvironmentVariableIsSet("FAKE_QEMU_BALLOON_DRIVER"))
                features << QStringLiteral("VIRTIO_BALLOON_F_FREE_PAGE_HINT: VQ reporting free pages enabled");
            result.insert(QStringLiteral("guest-features"), QJsonObject{{QStringLiteral("dev-features"), features}});
        } else if (name == QLatin1String("query-migrate") && m_migrationOutcome == QLatin1String("failed")) {
            result.insert(QStringLiteral("error-desc"), QStringLiteral("No space left on device"));
        }
        send({{QStringLiteral("return"), result}, {QStringLiteral("id"), command.value(QStringLiteral("id"))}});
        if (name == QLatin1String("migrate")) {
            if (m_migrationOutcome == QLatin1String("completed"))
                m_status = QStringLiteral("postmigrate");
            send({{QStringLiteral("event"), QStringLiteral("MIGRATION")}, {QStringLiteral("data"), QJsonObject{{QStringLiteral("status"), m_migrationOutcome}}}});
        } else if (name == QLatin1String("quit")) {
            m_client->flush();
            QCoreApplication::quit();
        }
    }

    void send(const QJsonObject &message)
    {
        m_client->write(QJsonDocument(message).toJson(QJsonDocument::Compact) + "\r\n");
    }

    static void record(const QString &name)
    {
        QFile log(qEnvironmentVariable("FAKE_QEMU_COMMANDS"));
        if (log.open(QIODevice::WriteOnly | QIODevice::Append))
            log.write(name.toUtf8() + '\n');
    }

    QLocalSocket *m_client;
    const QString m_migrationOutcome;
    QString m_status = QStringLiteral("prelaunch");
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QString path = monitorPath(application.arguments());
    if (path.isEmpty())
        return 2;
    QLocalServer server;
    if (!server.listen(path))
        return 3;
    std::unique_ptr<FakeMonitor> monitor;
    QObject::connect(&server, &QLocalServer::newConnection, [&] {
        if (!monitor)
            monitor = std::make_unique<FakeMonitor>(server.nextPendingConnection());
    });
    return application.exec();
}
