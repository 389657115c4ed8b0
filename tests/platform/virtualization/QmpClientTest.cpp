// SPDX-License-Identifier: MIT
#include "QmpClient.h"

#include "FakeQmpServer.h"
#include "QtPrinters.h"
#include "TaskRunner.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace std::chrono_literals;

namespace {

class QmpClientTest : public ::testing::Test
{
protected:
    QString socketPath() const { return m_directory.path() + QStringLiteral("/qmp.sock"); }

    std::unique_ptr<QmpClient> makeClient()
    {
        return std::make_unique<QmpClient>(QmpClient::Handlers{
            [this](const QmpClient::Event &event) { events << event.name; },
            [this](const QString &reason) { closedReasons << reason; },
        });
    }

    /// A client connected to `server` through the whole handshake.
    std::unique_ptr<QmpClient> connectedClient(FakeQmpServer &server)
    {
        auto client = makeClient();
        TaskRunner::run(client->connectToMonitor(socketPath(), [] { return true; }, 5s));
        EXPECT_EQ(server.receivedCommands(), QList<QString>{QStringLiteral("qmp_capabilities")});
        return client;
    }

    QStringList events;
    QStringList closedReasons;

private:
    QTemporaryDir m_directory;
};

TEST_F(QmpClientTest, WritesNothingBeforeTheGreetingAndNegotiatesCapabilitiesFirst)
{
    FakeQmpServer server(socketPath(), false);
    auto client = makeClient();
    auto connecting = client->connectToMonitor(socketPath(), [] { return true; }, 5s);
    QTest::qWait(200);
    ASSERT_TRUE(server.hasClient());
    EXPECT_TRUE(server.received().isEmpty());

    server.greet();
    TaskRunner::run(std::move(connecting));
    ASSERT_EQ(server.received().size(), 1);
    EXPECT_EQ(server.received().first().value(QStringLiteral("execute")).toString(), QStringLiteral("qmp_capabilities"));
    EXPECT_EQ(server.received().first().value(QStringLiteral("id")).toString(), QStringLiteral("zovozu-1"));

    server.setResponder([](const QJsonObject &command) {
        return QList<QByteArray>{FakeQmpServer::reply(command, QJsonObject{{QStringLiteral("status"), QStringLiteral("paused")}})};
    });
    const QJsonValue status = TaskRunner::run(client->execute(QStringLiteral("query-status")));
    EXPECT_EQ(status.toObject().value(QStringLiteral("status")).toString(), QStringLiteral("paused"));
    EXPECT_EQ(server.received().last().value(QStringLiteral("id")).toString(), QStringLiteral("zovozu-2"));
    EXPECT_TRUE(closedReasons.isEmpty());
}

TEST_F(QmpClientTest, SendsOneCommandAtATimeAndMatchesRepliesById)
{
    FakeQmpServer server(socketPath());
    auto client = connectedClient(server);
    QList<QJsonObject> held;
    server.setResponder([&held](const QJsonObject &command) {
        held << command;
        return QList<QByteArray>{};
    });

    auto first = client->execute(QStringLiteral("first"), {{QStringLiteral("n"), 1}});
    auto second = client->execute(QStringLiteral("second"));
    QTest::qWait(100);
    ASSERT_EQ(held.size(), 1);
    EXPECT_EQ(held[0].value(QStringLiteral("arguments")).toObject().value(QStringLiteral("n")).toInt(), 1);

    server.send(FakeQmpServer::reply(held[0], 1));
    EXPECT_EQ(TaskRunner::run(std::move(first)).toInt(), 1);
    QTest::qWait(50);
    ASSERT_EQ(held.size(), 2);
    EXPECT_EQ(held[1].value(QStringLiteral("execute")).toString(), QStringLiteral("second"));
    server.send(FakeQmpServer::reply(held[1], 2));
    EXPECT_EQ(TaskRunner::run(std::move(second)).toInt(), 2);
}

TEST_F(QmpClientTest, ErrorReplyCarriesQemusClassAndDescriptionAndLeavesTheConnectionUsable)
{
    FakeQmpServer server(socketPath());
    auto client = connectedClient(server);
    server.setResponder([](const QJsonObject &command) {
        if (command.value(QStringLiteral("execute")) == QStringLiteral("migrate"))
            return QList<QByteArray>{FakeQmpServer::errorReply(command, QStringLiteral("GenericError"), QStringLiteral("no way"))};
        return QList<QByteArray>{FakeQmpServer::reply(command)};
    });

    try {
        TaskRunner::run(client->execute(QStringLiteral("migrate")));
        ADD_FAILURE() << "the error reply was taken for success";
    } catch (const QmpClient::Error &error) {
        EXPECT_EQ(error.command(), QStringLiteral("migrate"));
        EXPECT_EQ(error.errorClass(), QStringLiteral("GenericError"));
        EXPECT_EQ(error.description(), QStringLiteral("no way"));
        EXPECT_STREQ(error.what(), "migrate: no way");
    }
    EXPECT_NO_THROW(TaskRunner::run(client->execute(QStringLiteral("cont"))));
    EXPECT_TRUE(client->isConnected());
}

TEST_F(QmpClientTest, EventsReachTheHandlerAndTheSignalBetweenReplies)
{
    FakeQmpServer server(socketPath());
    auto client = connectedClient(server);
    QStringList signalled;
    QObject::connect(client.get(), &QmpClient::eventReceived, [&signalled](const QmpClient::Event &event) {
        signalled << event.name + QLatin1Char(':') + event.data.value(QStringLiteral("status")).toString();
    });
    server.setResponder([](const QJsonObject &command) {
        return QList<QByteArray>{FakeQmpServer::event(QStringLiteral("MIGRATION"), {{QStringLiteral("status"), QStringLiteral("setup")}}),
                                 FakeQmpServer::reply(command),
                                 FakeQmpServer::event(QStringLiteral("MIGRATION"), {{QStringLiteral("status"), QStringLiteral("completed")}})};
    });

    TaskRunner::run(client->execute(QStringLiteral("migrate")));
    QTest::qWait(50);
    EXPECT_EQ(events, QStringList({QStringLiteral("MIGRATION"), QStringLiteral("MIGRATION")}));
    EXPECT_EQ(signalled, QStringList({QStringLiteral("MIGRATION:setup"), QStringLiteral("MIGRATION:completed")}));
}

struct BrokenConnection {
    const char *name;
    /// Breaks the connection while the command `pending` waits for its reply.
    std::function<void(FakeQmpServer &, const QJsonObject &pending)> breakIt;
};

class QmpClientFailureTest : public QmpClientTest, public ::testing::WithParamInterface<BrokenConnection>
{
};

TEST_P(QmpClientFailureTest, FailsThePendingCommandEveryLaterOneAndTellsTheHandlerOnce)
{
    FakeQmpServer server(socketPath());
    auto client = connectedClient(server);
    QList<QJsonObject> held;
    server.setResponder([&held](const QJsonObject &command) {
        held << command;
        return QList<QByteArray>{};
    });
    auto pending = client->execute(QStringLiteral("stop"));
    auto queued = client->execute(QStringLiteral("cont"));
    QTest::qWait(50);
    ASSERT_EQ(held.size(), 1);

    GetParam().breakIt(server, held[0]);
    EXPECT_THROW(TaskRunner::run(std::move(pending)), QmpClient::Error);
    EXPECT_THROW(TaskRunner::run(std::move(queued)), QmpClient::Error);
    QTest::qWait(50);
    EXPECT_EQ(closedReasons.size(), 1);
    EXPECT_FALSE(client->isConnected());
    ASSERT_TRUE(client->failure().has_value());
    try {
        TaskRunner::run(client->execute(QStringLiteral("query-status")));
        ADD_FAILURE() << "a command ran on a failed connection";
    } catch (const QmpClient::Error &error) {
        EXPECT_EQ(error.description(), *client->failure());
    }
    EXPECT_EQ(held.size(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Breaks, QmpClientFailureTest,
    ::testing::Values(
        BrokenConnection{"EndOfFile", [](FakeQmpServer &server, const QJsonObject &) { server.disconnectClient(); }},
        BrokenConnection{"ReplyToAnotherId",
                         [](FakeQmpServer &server, const QJsonObject &) { server.send(R"({"return": {}, "id": "zovozu-99"})"); }},
        BrokenConnection{"NotJSON", [](FakeQmpServer &server, const QJsonObject &) { server.send("{this is not json"); }},
        BrokenConnection{"OversizedMessage",
                         [](FakeQmpServer &server, const QJsonObject &) {
                             server.sendRaw(QByteArray(QmpClient::maximumMessageSize + 1024, 'x'));
                         }}),
    [](const ::testing::TestParamInfo<BrokenConnection> &info) { return std::string(info.param.name); });

TEST_F(QmpClientTest, ReplyWithNothingPendingClosesTheConnection)
{
    FakeQmpServer server(socketPath());
    auto client = connectedClient(server);
    const QJsonObject answered = server.received().last();

    server.send(FakeQmpServer::reply(answered));
    QTest::qWait(50);
    EXPECT_EQ(closedReasons.size(), 1);
    EXPECT_THROW(TaskRunner::run(client->execute(QStringLiteral("cont"))), QmpClient::Error);
}

TEST_F(QmpClientTest, UnansweredCommandTimesOutAndClosesTheConnection)
{
    FakeQmpServer server(socketPath());
    auto client = connectedClient(server);
    server.setResponder([](const QJsonObject &) { return QList<QByteArray>{}; });

    EXPECT_THROW(TaskRunner::run(client->execute(QStringLiteral("query-status"), {}, 100ms)), QmpClient::Error);
    EXPECT_EQ(closedReasons.size(), 1);
    EXPECT_THROW(TaskRunner::run(client->execute(QStringLiteral("cont"))), QmpClient::Error);
}

TEST_F(QmpClientTest, CloseFailsPendingCommandsWithoutCallingTheHandler)
{
    FakeQmpServer server(socketPath());
    auto client = connectedClient(server);
    server.setResponder([](const QJsonObject &) { return QList<QByteArray>{}; });
    auto pending = client->execute(QStringLiteral("query-status"));
    QTest::qWait(20);

    client->close();
    EXPECT_THROW(TaskRunner::run(std::move(pending)), QmpClient::Error);
    client.reset();
    QTest::qWait(20);
    EXPECT_TRUE(closedReasons.isEmpty());
}

TEST_F(QmpClientTest, DestroyingTheClientFailsItsPendingCommand)
{
    FakeQmpServer server(socketPath());
    auto client = connectedClient(server);
    server.setResponder([](const QJsonObject &) { return QList<QByteArray>{}; });
    auto pending = client->execute(QStringLiteral("query-status"));
    QTest::qWait(20);

    client.reset();
    EXPECT_THROW(TaskRunner::run(std::move(pending), 2s), QmpClient::Error);
}

TEST_F(QmpClientTest, KeepsTryingWhileTheSocketIsMissingAndThePeerLives)
{
    auto client = makeClient();
    std::unique_ptr<FakeQmpServer> server;
    QTimer::singleShot(300, [&] { server = std::make_unique<FakeQmpServer>(socketPath()); });

    TaskRunner::run(client->connectToMonitor(socketPath(), [] { return true; }, 5s));
    EXPECT_TRUE(client->isConnected());
}

TEST_F(QmpClientTest, GivesUpOnAMissingSocketOnceThePeerIsGone)
{
    auto client = makeClient();
    QDeadlineTimer quick(2s);
    try {
        TaskRunner::run(client->connectToMonitor(socketPath(), [] { return false; }, 30s));
        ADD_FAILURE() << "connected to nothing";
    } catch (const QmpClient::Error &error) {
        EXPECT_TRUE(error.description().contains(socketPath())) << error.what();
    }
    EXPECT_FALSE(quick.hasExpired());
}

TEST_F(QmpClientTest, GivesUpWhenNoGreetingComes)
{
    FakeQmpServer server(socketPath(), false);
    auto client = makeClient();
    EXPECT_THROW(TaskRunner::run(client->connectToMonitor(socketPath(), [] { return true; }, 300ms)), QmpClient::Error);
    EXPECT_TRUE(server.received().isEmpty());
    EXPECT_TRUE(closedReasons.isEmpty());
}

} // namespace
