// SPDX-License-Identifier: MIT
#include "RfbConnection.h"
#include "EventLoopWait.h"
#include "StandInRfbServer.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

using namespace std::chrono_literals;

namespace {

using EventLoopWait::waitUntil;

QImage pattern(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(x * 40 % 256, y * 70 % 256, (x + y) * 13 % 256));
    return image;
}

/// Which picture an image shows: images that share their data have the same identity, a copy has another.
qint64 pictureIdentity(const QImage &image) { return image.cacheKey() >> 32; }

/// Opens `connection` on `server`, and waits until it is connected and has asked for its first update.
bool connectTo(RfbConnection &connection, StandInRfbServer &server)
{
    if (!server.listen())
        return false;
    connection.open([path = server.path()] { return path; }, 2s);
    return waitUntil([&] { return connection.status() == GuestDisplayConnection::Status::connected && server.messages().size() >= 3; });
}

class RfbConnectionTest : public ::testing::Test
{
protected:
    void connectClient(QSize size = QSize(640, 480))
    {
        m_server = std::make_unique<StandInRfbServer>(size);
        ASSERT_TRUE(m_server->listen());
        m_connection.open([path = m_server->path()] { return path; }, 2s);
        ASSERT_TRUE(waitUntil(
            [&] { return m_connection.status() == GuestDisplayConnection::Status::connected && m_server->messages().size() >= 3; }));
    }

    /// Tells the client that the server takes QEMU's extended key events and resizes (screen 0), as QEMU does after SetEncodings.
    void announceQemuExtensions()
    {
        const QSize size = m_connection.framebuffer().size();
        m_server->send(StandInRfbServer::updateHeader(2) + StandInRfbServer::extendedDesktopSize(0, 0, size)
            + StandInRfbServer::rectangleHeader(QRect(), -258));
        ASSERT_TRUE(waitUntil([&] { return m_connection.canResizeDesktop(); }));
    }

    std::unique_ptr<StandInRfbServer> m_server;
    RfbConnection m_connection;
};

TEST_F(RfbConnectionTest, NegotiatesRGB32AndDrawsAFrameHoweverTheBytesAreSplit)
{
    for (const bool bytewise : { false, true }) {
        SCOPED_TRACE(bytewise ? "byte by byte" : "whole messages");
        m_server = std::make_unique<StandInRfbServer>(QSize(8, 4));
        m_server->setBytewise(bytewise);
        ASSERT_TRUE(m_server->listen());
        QSignalSpy resized(&m_connection, &GuestDisplayConnection::framebufferResized);
        QSignalSpy updated(&m_connection, &GuestDisplayConnection::framebufferUpdated);
        m_connection.open([path = m_server->path()] { return path; }, 2s);
        // The server may read the client's setup before the client has taken in the server's greeting: wait for both.
        ASSERT_TRUE(waitUntil([&] { return m_server->messages().size() >= 3 && !resized.isEmpty(); }));
        EXPECT_EQ(m_connection.desktopName(), QStringLiteral("stand-in"));
        ASSERT_EQ(resized.count(), 1);
        EXPECT_EQ(resized.at(0).at(0).toSize(), QSize(8, 4));

        const QList<QByteArray> setup = m_server->messages();
        EXPECT_EQ(setup.at(0), QByteArray("\x00\x00\x00\x00\x20\x18\x00\x01\x00\xff\x00\xff\x00\xff\x10\x08\x00\x00\x00\x00", 20));
        EXPECT_EQ(quint8(setup.at(1).at(0)), StandInRfbServer::setEncodings);
        EXPECT_TRUE(setup.at(1).contains(StandInRfbServer::u32(quint32(-308)))) << "ExtendedDesktopSize";
        EXPECT_TRUE(setup.at(1).contains(StandInRfbServer::u32(quint32(-258)))) << "QEMU extended keys";
        EXPECT_EQ(setup.at(1).mid(4, 8), StandInRfbServer::u32(16) + StandInRfbServer::u32(0)) << "ZRLE, then Raw";
        EXPECT_EQ(setup.at(2), QByteArray("\x03\x00\x00\x00\x00\x00\x00\x08\x00\x04", 10)) << "a full first request";

        const QImage frame = pattern(QSize(3, 2));
        m_server->send(StandInRfbServer::rawUpdate(QPoint(5, 2), frame));
        ASSERT_TRUE(waitUntil([&] { return updated.count() == 1; }));
        EXPECT_EQ(updated.at(0).at(0).toRect(), QRect(5, 2, 3, 2));
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(m_connection.framebuffer().pixel(5 + x, 2 + y), frame.pixel(x, y)) << x << "," << y;
        EXPECT_EQ(m_connection.framebuffer().pixel(0, 0), qRgb(0, 0, 0));

        // One request outstanding: the answered update brings exactly one incremental request.
        ASSERT_TRUE(waitUntil([&] { return m_server->messagesOfType(StandInRfbServer::updateRequest).size() == 2; }));
        QTest::qWait(20);
        const QList<QByteArray> requests = m_server->messagesOfType(StandInRfbServer::updateRequest);
        ASSERT_EQ(requests.size(), 2);
        EXPECT_EQ(requests.at(1), QByteArray("\x03\x01\x00\x00\x00\x00\x00\x08\x00\x04", 10));
        EXPECT_EQ(m_connection.status(), GuestDisplayConnection::Status::connected);
        m_connection.close();
    }
}

TEST_F(RfbConnectionTest, FollowsAGuestResizeOfScreenZeroAndAsksForTheWholeNewFrame)
{
    connectClient(QSize(640, 480));
    QSignalSpy resized(&m_connection, &GuestDisplayConnection::framebufferResized);
    m_server->clearMessages();
    m_server->send(StandInRfbServer::updateHeader(1) + StandInRfbServer::extendedDesktopSize(0, 0, QSize(1024, 768)));
    ASSERT_TRUE(waitUntil([&] { return resized.count() == 1; }));
    EXPECT_EQ(m_connection.framebuffer().size(), QSize(1024, 768));
    ASSERT_TRUE(waitUntil([&] { return !m_server->messagesOfType(StandInRfbServer::updateRequest).isEmpty(); }));
    EXPECT_EQ(m_server->messagesOfType(StandInRfbServer::updateRequest).at(0), QByteArray("\x03\x00\x00\x00\x00\x00\x04\x00\x03\x00", 10));

    // The corner of the larger screen is inside it now.
    QSignalSpy updated(&m_connection, &GuestDisplayConnection::framebufferUpdated);
    m_server->send(StandInRfbServer::rawUpdate(QPoint(1023, 767), pattern(QSize(1, 1))));
    ASSERT_TRUE(waitUntil([&] { return updated.count() == 1; }));
    EXPECT_EQ(m_connection.status(), GuestDisplayConnection::Status::connected);

    // The plain DesktopSize pseudo-rectangle shrinks it again.
    m_server->send(StandInRfbServer::updateHeader(1) + StandInRfbServer::rectangleHeader(QRect(0, 0, 800, 600), -223));
    ASSERT_TRUE(waitUntil([&] { return resized.count() == 2; }));
    EXPECT_EQ(m_connection.framebuffer().size(), QSize(800, 600));
}

TEST_F(RfbConnectionTest, EachUpdateHandsOverTheDrawnPictureWithoutCopyingItAndTheScreenStaysWhole)
{
    connectClient(QSize(640, 480));
    QSignalSpy updated(&m_connection, &GuestDisplayConnection::framebufferUpdated);
    QSignalSpy resized(&m_connection, &GuestDisplayConnection::framebufferResized);
    struct Step {
        QRect area; // drawn in a colour of its own
        QSize newSize; // or else the screen's size changes
    };
    const Step steps[] = {
        { QRect(0, 0, 640, 480), {} },
        { QRect(10, 10, 50, 40), {} },
        { QRect(600, 400, 40, 80), {} },
        { QRect(100, 0, 1, 480), {} },
        { QRect(30, 20, 200, 100), {} },
        { {}, QSize(800, 600) },
        { QRect(700, 500, 100, 100), {} },
        { QRect(0, 0, 20, 20), {} },
        { QRect(650, 0, 10, 600), {} },
    };
    QImage expected(640, 480, QImage::Format_RGB32);
    expected.fill(Qt::black);
    QList<QList<qint64>> pictures { {} }; // identities shown, one list per screen size
    for (std::size_t index = 0; index < std::size(steps); ++index) {
        const QRect area = steps[index].area;
        const QSize size = steps[index].newSize;
        SCOPED_TRACE(index);
        if (size.isValid()) {
            m_server->send(StandInRfbServer::updateHeader(1) + StandInRfbServer::extendedDesktopSize(0, 0, size));
            ASSERT_TRUE(waitUntil([&] { return resized.count() == 1; }));
            expected = QImage(size, QImage::Format_RGB32);
            expected.fill(Qt::black);
            pictures << QList<qint64>();
        } else {
            QImage tile(area.size(), QImage::Format_RGB32);
            tile.fill(qRgb(int(index) * 25, 255 - int(index) * 20, 90));
            const qsizetype before = updated.count();
            m_server->send(StandInRfbServer::rawUpdate(area.topLeft(), tile));
            ASSERT_TRUE(waitUntil([&] { return updated.count() > before; }));
            EXPECT_EQ(updated.last().at(0).toRect(), area);
            QPainter(&expected).drawImage(area.topLeft(), tile);
        }
        EXPECT_EQ(m_connection.framebuffer(), expected) << "every update keeps what the ones before drew";
        pictures.last() << pictureIdentity(m_connection.framebuffer());
    }
    // Two pictures take turns, whatever the size: the GUI thread shows the one the worker drew into, never a copy of it.
    for (const QList<qint64> &shown : pictures) {
        for (qsizetype index = 1; index < shown.size(); ++index)
            EXPECT_NE(shown.at(index), shown.at(index - 1)) << index;
        for (qsizetype index = 2; index < shown.size(); ++index)
            EXPECT_EQ(shown.at(index), shown.at(index - 2)) << index;
    }
    for (const qint64 identity : pictures.last())
        EXPECT_FALSE(pictures.first().contains(identity)) << "the pictures of the old size are gone";

    // Updates that come faster than the GUI thread takes them are drawn on top of each other and still arrive whole.
    for (int burst = 0; burst < 3; ++burst) {
        SCOPED_TRACE(burst);
        QByteArray updates;
        for (int index = 0; index < 4; ++index) {
            const QRect area(burst * 100 + index * 30, index * 50, 120, 90);
            QImage tile(area.size(), QImage::Format_RGB32);
            tile.fill(qRgb(burst * 60, index * 50, 200));
            updates += StandInRfbServer::rawUpdate(area.topLeft(), tile);
            QPainter(&expected).drawImage(area.topLeft(), tile);
        }
        m_server->send(updates);
        ASSERT_TRUE(waitUntil([&] { return m_connection.framebuffer() == expected; }));
    }
}

TEST_F(RfbConnectionTest, AServerSilentInTheMiddleOfAMessageIsDisconnectedButAnIdleOneIsNot)
{
    constexpr std::chrono::milliseconds silenceLimit = 150ms;
    const QImage picture = pattern(QSize(16, 16));
    // Connected first and idle throughout: its silence outlasts every broken server's below.
    StandInRfbServer idleServer(QSize(64, 64));
    RfbConnection idle(nullptr, silenceLimit);
    QSignalSpy idleEnded(&idle, &GuestDisplayConnection::statusChanged);
    ASSERT_TRUE(connectTo(idle, idleServer));
    idleServer.send(StandInRfbServer::rawUpdate(QPoint(), picture));
    ASSERT_TRUE(waitUntil([&] { return idle.framebuffer().pixel(15, 15) == picture.pixel(15, 15); }));
    idleEnded.clear();

    const struct {
        const char *name;
        QByteArray bytes;
    } cases[] = {
        { "half a rectangle's pixels", StandInRfbServer::rawUpdate(QPoint(), picture).left(16 + 16 * 8 * 4) },
        { "an update of three rectangles with none", StandInRfbServer::updateHeader(3) },
        { "a rectangle header cut short",
            StandInRfbServer::updateHeader(1) + StandInRfbServer::rectangleHeader(QRect(0, 0, 4, 4), 0).left(5) },
        { "a clipboard text without all its text", QByteArray("\x03\x00\x00\x00", 4) + StandInRfbServer::u32(10) + "abc" },
        { "a message type alone", QByteArray("\x00", 1) },
    };
    for (const auto &stalled : cases) {
        SCOPED_TRACE(stalled.name);
        StandInRfbServer server(QSize(64, 64));
        RfbConnection connection(nullptr, silenceLimit);
        QSignalSpy disconnected(&connection, &GuestDisplayConnection::disconnected);
        ASSERT_TRUE(connectTo(connection, server));
        server.send(stalled.bytes);
        // The user keeps moving the pointer: what the client sends is no sign of life from the server.
        ASSERT_TRUE(waitUntil([&] {
            connection.sendPointer(QPoint(1, 1), 0);
            return disconnected.count() == 1;
        }));
        EXPECT_EQ(disconnected.at(0).at(0).toString(), QStringLiteral("The guest display stopped responding."));
        EXPECT_EQ(connection.status(), GuestDisplayConnection::Status::closed);
    }

    // A server that takes the connection and never greets leaves it connecting no longer.
    QTemporaryDir folder;
    QLocalServer mute;
    ASSERT_TRUE(mute.listen(folder.filePath(QStringLiteral("vnc.sock"))));
    RfbConnection waiting(nullptr, silenceLimit);
    QSignalSpy failed(&waiting, &GuestDisplayConnection::disconnected);
    waiting.open([path = mute.fullServerName()] { return path; }, 2s);
    ASSERT_TRUE(waitUntil([&] { return failed.count() == 1; }));
    EXPECT_EQ(failed.at(0).at(0).toString(), QStringLiteral("The guest display stopped responding."));

    EXPECT_EQ(idle.status(), GuestDisplayConnection::Status::connected);
    EXPECT_TRUE(idleEnded.isEmpty());
}

TEST_F(RfbConnectionTest, AServerThatBreaksTheProtocolIsDisconnectedWithAMessage)
{
    const struct {
        const char *name;
        QByteArray bytes;
        const char *message;
    } cases[] = {
        { "rectangle outside the screen", StandInRfbServer::rawUpdate(QPoint(630, 470), pattern(QSize(20, 20))),
            "rectangle outside its screen" },
        { "rectangle whose end wraps past 65535",
            StandInRfbServer::updateHeader(1) + StandInRfbServer::rectangleHeader(QRect(65000, 0, 1000, 1), 0),
            "rectangle outside its screen" },
        { "screen too wide", StandInRfbServer::updateHeader(1) + StandInRfbServer::extendedDesktopSize(0, 0, QSize(6000, 1000)), "6000" },
        { "screen of no height", StandInRfbServer::updateHeader(1) + StandInRfbServer::rectangleHeader(QRect(0, 0, 800, 0), -223), "800" },
        { "unknown message", QByteArray("\x07garbage", 8), "cannot read" },
        { "unknown encoding", StandInRfbServer::updateHeader(1) + StandInRfbServer::rectangleHeader(QRect(0, 0, 4, 4), 7), "cannot read" },
        { "too many screens",
            StandInRfbServer::updateHeader(1) + StandInRfbServer::rectangleHeader(QRect(0, 0, 800, 600), -308) + QByteArray(4, '\xff'),
            "cannot read" },
        { "huge cut text", QByteArray("\x03\x00\x00\x00", 4) + StandInRfbServer::u32(64 * 1024 * 1024), "1 MiB" },
        { "ZRLE data that does not inflate",
            StandInRfbServer::updateHeader(1) + StandInRfbServer::rectangleHeader(QRect(0, 0, 4, 4), 16) + StandInRfbServer::u32(5) + "hello",
            "cannot read" },
        { "ZRLE data above 64 MiB",
            StandInRfbServer::updateHeader(1) + StandInRfbServer::rectangleHeader(QRect(0, 0, 4, 4), 16) + StandInRfbServer::u32(0x7fffffff),
            "cannot read" },
        { "ZRLE rectangle outside the screen",
            StandInRfbServer::updateHeader(1) + StandInRfbServer::rectangleHeader(QRect(630, 0, 20, 4), 16) + StandInRfbServer::u32(0),
            "rectangle outside its screen" },
        { "huge pointer shape", StandInRfbServer::updateHeader(1) + StandInRfbServer::rectangleHeader(QRect(0, 0, 4000, 4000), -239),
            "pointer shape" },
    };
    for (const auto &broken : cases) {
        SCOPED_TRACE(broken.name);
        connectClient();
        QSignalSpy disconnected(&m_connection, &GuestDisplayConnection::disconnected);
        m_server->send(broken.bytes + QByteArray(64, '\x42'));
        ASSERT_TRUE(waitUntil([&] { return disconnected.count() == 1; }));
        EXPECT_TRUE(disconnected.at(0).at(0).toString().contains(QLatin1String(broken.message)))
            << disconnected.at(0).at(0).toString().toStdString();
        EXPECT_EQ(m_connection.status(), GuestDisplayConnection::Status::closed);
        EXPECT_TRUE(waitUntil([&] { return !m_server->hasClient(); })) << "the socket is closed";
        // Nothing more goes out, and input is ignored.
        m_connection.sendPointer(QPoint(1, 1), 1);
        QTest::qWait(10);
        EXPECT_EQ(disconnected.count(), 1);
    }
}

TEST_F(RfbConnectionTest, BellsCutTextsAndColourMapsAreSkipped)
{
    connectClient(QSize(16, 16));
    QSignalSpy updated(&m_connection, &GuestDisplayConnection::framebufferUpdated);
    m_server->send(QByteArray("\x02", 1) + QByteArray("\x03\x00\x00\x00", 4) + StandInRfbServer::u32(5) + QByteArray("hello")
        + QByteArray("\x01\x00\x00\x00\x00\x01", 6) + QByteArray(6, '\x10')
        + StandInRfbServer::rawUpdate(QPoint(0, 0), pattern(QSize(2, 2))));
    ASSERT_TRUE(waitUntil([&] { return updated.count() == 1; }));
    EXPECT_EQ(m_connection.status(), GuestDisplayConnection::Status::connected);
}

TEST_F(RfbConnectionTest, SendsKeysClicksAndModeRequestsAsQemuReadsThem)
{
    connectClient(QSize(800, 600));
    // Before QEMU's extensions are announced: a plain key event, and no mode request.
    m_connection.sendKey(0x61, 0x1e, true);
    EXPECT_FALSE(m_connection.canResizeDesktop());
    m_connection.requestDesktopSize(QSize(1024, 768));
    announceQemuExtensions();
    m_server->clearMessages();

    m_connection.sendKey(0xff0d, 0x1c, true);
    m_connection.sendKey(0xffe4, 0x9d, false); // right Control: an E0 key
    m_connection.sendPointer(QPoint(300, 200), GuestDisplayConnection::left);
    m_connection.sendPointer(QPoint(-5, 9000), 0);
    m_connection.requestDesktopSize(QSize(1280, 720));
    m_connection.requestDesktopSize(QSize(100, 9000));
    ASSERT_TRUE(waitUntil([&] { return m_server->messages().size() >= 6; }));
    const QList<QByteArray> sent = m_server->messages();
    EXPECT_EQ(sent.at(0), QByteArray("\xff\x00\x00\x01\x00\x00\xff\x0d\x00\x00\x00\x1c", 12));
    EXPECT_EQ(sent.at(1), QByteArray("\xff\x00\x00\x00\x00\x00\xff\xe4\x00\x00\x00\x9d", 12));
    EXPECT_EQ(sent.at(2), QByteArray("\x05\x01\x01\x2c\x00\xc8", 6));
    EXPECT_EQ(sent.at(3), QByteArray("\x05\x00\x00\x00\x02\x57", 6)) << "clamped to the framebuffer";
    EXPECT_EQ(sent.at(4),
        QByteArray("\xfb\x00\x05\x00\x02\xd0\x01\x00"
                   "\x00\x00\x00\x00\x00\x00\x00\x00\x05\x00\x02\xd0\x00\x00\x00\x00",
            24));
    EXPECT_EQ(sent.at(5).mid(2, 4), QByteArray("\x02\x80\x08\x70", 4)) << "clamped to 640x2160";
}

TEST_F(RfbConnectionTest, AKeyBeforeQemuExtensionsIsAPlainKeyEvent)
{
    connectClient();
    m_server->clearMessages();
    m_connection.sendKey(0x61, 0x1e, true);
    ASSERT_TRUE(waitUntil([&] { return !m_server->messages().isEmpty(); }));
    EXPECT_EQ(m_server->messages().at(0), QByteArray("\x04\x01\x00\x00\x00\x00\x00\x61", 8));
}

TEST_F(RfbConnectionTest, NoModeRequestAfterTheServerRefusedOne)
{
    connectClient(QSize(800, 600));
    announceQemuExtensions();
    QSignalSpy availability(&m_connection, &GuestDisplayConnection::desktopResizeAvailabilityChanged);
    m_connection.requestDesktopSize(QSize(1024, 768));
    ASSERT_TRUE(waitUntil([&] { return m_server->messagesOfType(StandInRfbServer::setDesktopSize).size() == 1; }));

    // QEMU with a display it cannot resize answers "invalid screen layout" and keeps its size.
    m_server->send(StandInRfbServer::updateHeader(1) + StandInRfbServer::extendedDesktopSize(1, 3, QSize(800, 600)));
    ASSERT_TRUE(waitUntil([&] { return !m_connection.canResizeDesktop(); }));
    ASSERT_EQ(availability.count(), 1);
    EXPECT_FALSE(availability.at(0).at(0).toBool());
    m_connection.requestDesktopSize(QSize(1280, 720));
    QTest::qWait(30);
    EXPECT_EQ(m_server->messagesOfType(StandInRfbServer::setDesktopSize).size(), 1);
    EXPECT_EQ(m_connection.status(), GuestDisplayConnection::Status::connected);
}

TEST_F(RfbConnectionTest, AForwardedRequestKeepsTheDoorOpen)
{
    connectClient(QSize(800, 600));
    announceQemuExtensions();
    m_server->send(StandInRfbServer::updateHeader(1) + StandInRfbServer::extendedDesktopSize(1, 4, QSize(800, 600)));
    QTest::qWait(30);
    EXPECT_TRUE(m_connection.canResizeDesktop());
}

TEST_F(RfbConnectionTest, APointerShapeBecomesACursorImage)
{
    connectClient();
    QSignalSpy cursor(&m_connection, &GuestDisplayConnection::cursorChanged);
    // 2x2: red, green / blue, white; the mask shows the left column only.
    const QByteArray pixels("\x00\x00\xff\x00"
                            "\x00\xff\x00\x00"
                            "\xff\x00\x00\x00"
                            "\xff\xff\xff\x00",
        16);
    m_server->send(StandInRfbServer::updateHeader(1) + StandInRfbServer::rectangleHeader(QRect(1, 1, 2, 2), -239) + pixels
        + QByteArray("\x80\x80", 2));
    ASSERT_TRUE(waitUntil([&] { return cursor.count() == 1; }));
    const QImage shape = cursor.at(0).at(0).value<QImage>();
    EXPECT_EQ(cursor.at(0).at(1).toPoint(), QPoint(1, 1));
    EXPECT_EQ(shape.pixel(0, 0), qRgba(255, 0, 0, 255));
    EXPECT_EQ(qAlpha(shape.pixel(1, 0)), 0);
    EXPECT_EQ(shape.pixel(0, 1), qRgba(0, 0, 255, 255));
}

TEST_F(RfbConnectionTest, WaitsForASocketThatAppearsLateAndGivesUpOnOneThatNeverDoes)
{
    StandInRfbServer late;
    QString path;
    m_connection.open([&path] { return path; }, 3s);
    EXPECT_EQ(m_connection.status(), GuestDisplayConnection::Status::connecting);
    QTest::qWait(150); // no path yet: the machine is still being made
    path = late.path();
    QTest::qWait(150); // a path, but nothing listens yet
    ASSERT_TRUE(late.listen());
    ASSERT_TRUE(waitUntil([&] { return m_connection.status() == GuestDisplayConnection::Status::connected; }));

    RfbConnection nothing;
    QSignalSpy disconnected(&nothing, &GuestDisplayConnection::disconnected);
    nothing.open([] { return QStringLiteral("/nonexistent/vnc.sock"); }, 300ms);
    ASSERT_TRUE(waitUntil([&] { return disconnected.count() == 1; }));
    EXPECT_TRUE(disconnected.at(0).at(0).toString().startsWith(QStringLiteral("The guest display could not be reached")));
}

TEST_F(RfbConnectionTest, AServerThatGoesAwayIsReportedAndACloseIsQuiet)
{
    // Closed in the middle of the handshake: a failure.
    QTemporaryDir folder;
    QLocalServer hangUp;
    ASSERT_TRUE(hangUp.listen(folder.filePath(QStringLiteral("vnc.sock"))));
    QObject::connect(&hangUp, &QLocalServer::newConnection, [&hangUp] { hangUp.nextPendingConnection()->disconnectFromServer(); });
    QSignalSpy disconnected(&m_connection, &GuestDisplayConnection::disconnected);
    QSignalSpy serverClosed(&m_connection, &GuestDisplayConnection::serverClosed);
    m_connection.open([path = hangUp.fullServerName()] { return path; }, 2s);
    ASSERT_TRUE(waitUntil([&] { return disconnected.count() == 1; }));
    EXPECT_EQ(disconnected.at(0).at(0).toString(), QStringLiteral("The guest display closed the connection."));
    EXPECT_EQ(serverClosed.count(), 0);

    // Closed once made, as a machine that stops does: said apart from failures.
    connectClient();
    m_server->client()->disconnectFromServer();
    ASSERT_TRUE(waitUntil([&] { return serverClosed.count() == 1; }));
    EXPECT_EQ(disconnected.count(), 1);
    EXPECT_EQ(m_connection.status(), GuestDisplayConnection::Status::closed);

    connectClient();
    QSignalSpy quiet(&m_connection, &GuestDisplayConnection::disconnected);
    m_connection.close();
    QTest::qWait(30);
    EXPECT_EQ(quiet.count(), 0);
    EXPECT_TRUE(m_connection.framebuffer().isNull());
}

} // namespace
