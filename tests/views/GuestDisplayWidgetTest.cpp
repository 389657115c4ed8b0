// SPDX-License-Identifier: MIT
#include "GuestDisplayWidget.h"

#include "EventLoopWait.h"
#include "RfbConnection.h"
#include "StandInRfbServer.h"

#include <QApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using EventLoopWait::waitUntil;

QImage filled(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

class GuestDisplayWidgetTest : public ::testing::Test
{
protected:
    /// A widget of `widgetSize` showing a `guestSize` guest with QEMU's extensions announced.
    void show(QSize guestSize, QSize widgetSize)
    {
        m_server = std::make_unique<StandInRfbServer>(guestSize);
        ASSERT_TRUE(m_server->listen());
        m_widget.resize(widgetSize);
        m_widget.show();
        QApplication::setActiveWindow(&m_widget);
        m_widget.setFocus();
        m_connection.open([path = m_server->path()] { return path; }, 2s);
        ASSERT_TRUE(waitUntil([&] { return m_server->isReady() && m_connection.status() == GuestDisplayConnection::Status::connected; }));
        m_server->send(StandInRfbServer::updateHeader(2) + StandInRfbServer::extendedDesktopSize(0, 0, guestSize)
            + StandInRfbServer::rectangleHeader(QRect(), -258));
        ASSERT_TRUE(waitUntil([&] { return m_connection.canResizeDesktop(); }));
        QTest::qWait(int(GuestDisplayWidget::resizePause.count()) + 50);
        m_server->clearMessages();
    }

    QList<QByteArray> inputMessages() const
    {
        QList<QByteArray> input;
        for (const QByteArray &message : m_server->messages())
            if (quint8(message.at(0)) != StandInRfbServer::updateRequest)
                input << message;
        return input;
    }

    std::unique_ptr<StandInRfbServer> m_server;
    RfbConnection m_connection;
    GuestDisplayWidget m_widget { m_connection };
};

TEST_F(GuestDisplayWidgetTest, PaintsTheGuestScaledWithItsAspectAndMapsThePointerBack)
{
    show(QSize(800, 600), QSize(1000, 600));
    QSignalSpy updated(&m_connection, &GuestDisplayConnection::framebufferUpdated);
    m_server->send(StandInRfbServer::rawUpdate(QPoint(0, 0), filled(QSize(800, 600), QColor(200, 30, 60))));
    ASSERT_TRUE(waitUntil([&] { return updated.count() == 1; }));

    const struct {
        QSize widget;
        QRectF area;
    } cases[] = {
        { QSize(1000, 600), QRectF(100, 0, 800, 600) }, // wider: bars left and right
        { QSize(400, 600), QRectF(0, 150, 400, 300) }, // taller: bars above and below
        { QSize(1600, 1200), QRectF(0, 0, 1600, 1200) },
    };
    for (const auto &testCase : cases) {
        m_widget.resize(testCase.widget);
        EXPECT_EQ(m_widget.frameArea(), testCase.area) << testCase.widget.width() << "x" << testCase.widget.height();
        const QImage painted = m_widget.grab().toImage();
        const QPoint centre = testCase.area.center().toPoint();
        EXPECT_EQ(QColor(painted.pixel(centre)), QColor(200, 30, 60));
        if (testCase.area.x() > 10) {
            EXPECT_EQ(QColor(painted.pixel(int(testCase.area.x()) - 5, centre.y())), QColor(Qt::black)) << "letterbox bar";
        }
    }

    m_widget.resize(1000, 600);
    EXPECT_EQ(m_widget.guestPosition(QPointF(100, 0)), QPoint(0, 0));
    EXPECT_EQ(m_widget.guestPosition(QPointF(500, 300)), QPoint(400, 300));
    EXPECT_EQ(m_widget.guestPosition(QPointF(20, 900)), QPoint(0, 599)) << "clamped onto the screen";
}

TEST_F(GuestDisplayWidgetTest, AGuestShownOneToOneRepaintsJustWhatChangedWithOnlyItsCornersRounded)
{
    show(QSize(800, 600), QSize(800, 600));
    QRegion repainted;
    struct PaintRecorder final : QObject {
        QRegion &region;
        explicit PaintRecorder(QRegion &region)
            : region(region)
        {
        }
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() == QEvent::Paint)
                region += static_cast<QPaintEvent *>(event)->region();
            return QObject::eventFilter(watched, event);
        }
    } recorder(repainted);
    m_widget.installEventFilter(&recorder);
    const QColor red(200, 30, 60);
    const QColor green(20, 220, 90);
    m_server->send(StandInRfbServer::rawUpdate(QPoint(0, 0), filled(QSize(800, 600), red)));
    ASSERT_TRUE(waitUntil([&] { return repainted.contains(QRect(0, 0, 800, 600)); }));

    repainted = QRegion();
    const QRect changed(100, 120, 50, 40);
    m_server->send(StandInRfbServer::rawUpdate(changed.topLeft(), filled(changed.size(), green)));
    ASSERT_TRUE(waitUntil([&] { return !repainted.isEmpty(); }));
    EXPECT_EQ(repainted, QRegion(changed)) << "exactly the changed pixels";

    const QImage painted = m_widget.grab().toImage();
    const QColor window = m_widget.palette().window().color();
    const struct {
        QPoint at;
        QColor colour;
    } pixels[] = {
        { changed.topLeft(), green }, { changed.bottomRight(), green }, { changed.topLeft() - QPoint(1, 0), red },
        { changed.bottomRight() + QPoint(1, 1), red },
        { QPoint(0, 300), red }, { QPoint(799, 300), red }, { QPoint(400, 0), red }, { QPoint(400, 599), red }, // edges are not clipped
        { QPoint(0, 0), window }, { QPoint(799, 0), window }, { QPoint(0, 599), window }, { QPoint(799, 599), window }, // corners are
        { QPoint(22, 22), red }, { QPoint(777, 577), red },
    };
    for (const auto &pixel : pixels)
        EXPECT_EQ(QColor(painted.pixel(pixel.at)), pixel.colour) << pixel.at.x() << "," << pixel.at.y();
}

TEST_F(GuestDisplayWidgetTest, KeysClicksAndTheWheelReachTheGuestAndHeldKeysAreReleasedOnFocusLoss)
{
    show(QSize(800, 600), QSize(800, 600));
    QTest::keyPress(&m_widget, Qt::Key_A);
    QTest::keyRelease(&m_widget, Qt::Key_A);
    QTest::keyClick(&m_widget, Qt::Key_Tab);
    ASSERT_TRUE(waitUntil([&] { return inputMessages().size() == 4; }));
    QList<QByteArray> sent = inputMessages();
    EXPECT_EQ(sent.at(0), QByteArray("\xff\x00\x00\x01\x00\x00\x00\x61\x00\x00\x00\x1e", 12)) << "a down, scan code 0x1e";
    EXPECT_EQ(sent.at(1), QByteArray("\xff\x00\x00\x00\x00\x00\x00\x61\x00\x00\x00\x1e", 12));
    EXPECT_EQ(sent.at(2), QByteArray("\xff\x00\x00\x01\x00\x00\xff\x09\x00\x00\x00\x0f", 12)) << "Tab goes to the guest";
    EXPECT_TRUE(m_widget.hasFocus());

    m_server->clearMessages();
    QTest::mouseClick(&m_widget, Qt::LeftButton, Qt::NoModifier, QPoint(400, 300));
    QWheelEvent wheel(QPointF(10, 20), m_widget.mapToGlobal(QPointF(10, 20)), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
        Qt::NoScrollPhase, false);
    QApplication::sendEvent(&m_widget, &wheel);
    ASSERT_TRUE(waitUntil([&] { return inputMessages().size() == 4; }));
    sent = inputMessages();
    EXPECT_EQ(sent.at(0), QByteArray("\x05\x01\x01\x90\x01\x2c", 6)) << "left button down at 400,300";
    EXPECT_EQ(sent.at(1), QByteArray("\x05\x00\x01\x90\x01\x2c", 6));
    EXPECT_EQ(sent.at(2), QByteArray("\x05\x08\x00\x0a\x00\x14", 6)) << "wheel up is button 4, pressed";
    EXPECT_EQ(sent.at(3), QByteArray("\x05\x00\x00\x0a\x00\x14", 6)) << "and released";

    // Alt held while the window loses the focus: the guest is told it went up.
    m_server->clearMessages();
    QTest::keyPress(&m_widget, Qt::Key_Alt);
    QTest::mousePress(&m_widget, Qt::RightButton, Qt::NoModifier, QPoint(10, 10));
    m_widget.clearFocus();
    ASSERT_TRUE(waitUntil([&] { return inputMessages().size() == 4; }));
    sent = inputMessages();
    EXPECT_EQ(sent.at(2), QByteArray("\xff\x00\x00\x00\x00\x00\xff\xe9\x00\x00\x00\x38", 12)) << "Alt released";
    EXPECT_EQ(sent.at(3), QByteArray("\x05\x00\x00\x0a\x00\x0a", 6)) << "right button released";
}

TEST_F(GuestDisplayWidgetTest, HidingReleasesHeldKeys)
{
    show(QSize(800, 600), QSize(800, 600));
    QTest::keyPress(&m_widget, Qt::Key_Control);
    m_widget.hide();
    ASSERT_TRUE(waitUntil([&] { return inputMessages().size() == 2; }));
    EXPECT_EQ(inputMessages().at(1), QByteArray("\xff\x00\x00\x00\x00\x00\xff\xe3\x00\x00\x00\x1d", 12));
}

TEST_F(GuestDisplayWidgetTest, AResizeAsksForAMatchingModeOnceItSettlesWithinTheLimits)
{
    show(QSize(800, 600), QSize(800, 600));
    const auto requests = [&] { return m_server->messagesOfType(StandInRfbServer::setDesktopSize); };
    const auto requestedSize = [](const QByteArray &message) {
        return QSize(qFromBigEndian<quint16>(message.constData() + 2), qFromBigEndian<quint16>(message.constData() + 4));
    };

    m_widget.resize(1000, 700);
    QTest::qWait(100);
    m_widget.resize(1100, 800);
    QTest::qWait(100);
    EXPECT_TRUE(requests().isEmpty()) << "nothing while the user still drags";
    ASSERT_TRUE(waitUntil([&] { return requests().size() == 1; }));
    EXPECT_EQ(requestedSize(requests().at(0)), QSize(1100, 800));

    m_widget.resize(300, 200);
    ASSERT_TRUE(waitUntil([&] { return requests().size() == 2; }));
    EXPECT_EQ(requestedSize(requests().at(1)), QSize(640, 480));

    // The server refuses: the widget stops asking.
    m_server->send(StandInRfbServer::updateHeader(1) + StandInRfbServer::extendedDesktopSize(1, 3, QSize(800, 600)));
    ASSERT_TRUE(waitUntil([&] { return !m_connection.canResizeDesktop(); }));
    m_widget.resize(1200, 900);
    QTest::qWait(int(GuestDisplayWidget::resizePause.count()) + 100);
    EXPECT_EQ(requests().size(), 2);
}

} // namespace
