// SPDX-License-Identifier: MIT
// Feeds full 1920x1080 frames from a local stand-in VNC server to the console's display and reports
// how many frames per second are decoded and painted, and how long a key press takes to reach the socket.
#include "GuestDisplayWidget.h"
#include "RfbConnection.h"
#include "StandInRfbServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

/// Counts the paint events of a widget.
class PaintCounter final : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

QByteArray frameUpdate(QSize size, QRgb colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    for (int y = 0; y < size.height(); y += 8)
        for (int x = 0; x < size.width(); x += 8)
            image.setPixel(x, y, qRgb(x % 256, y % 256, 128));
    return StandInRfbServer::rawUpdate(QPoint(0, 0), image);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QSize size(1920, 1080);
    StandInRfbServer server(size);
    if (!server.listen()) {
        std::fprintf(stderr, "cannot listen\n");
        return 1;
    }
    RfbConnection connection;
    GuestDisplayWidget widget(connection);
    PaintCounter counter;
    widget.installEventFilter(&counter);
    widget.resize(size);
    widget.show();
    widget.setFocus();
    int decoded = 0;
    QObject::connect(&connection, &GuestDisplayConnection::framebufferUpdated, [&] { ++decoded; });
    connection.open([&server] { return server.path(); }, std::chrono::seconds(2));
    while (!server.isReady() || connection.status() != GuestDisplayConnection::Status::connected)
        QCoreApplication::processEvents();
    server.send(StandInRfbServer::updateHeader(1) + StandInRfbServer::rectangleHeader(QRect(), -258));

    const QByteArray frames[] = { frameUpdate(size, qRgb(30, 60, 90)), frameUpdate(size, qRgb(200, 100, 50)) };

    // Like QEMU, the server answers each update request with one whole frame.
    QElapsedTimer clock;
    clock.start();
    int sent = 0;
    decoded = 0;
    const int paintsBefore = counter.paints;
    while (clock.elapsed() < 5000) {
        const qsizetype requests = server.messagesOfType(StandInRfbServer::updateRequest).size();
        if (requests > sent) {
            server.send(frames[sent % 2]);
            ++sent;
        }
        QCoreApplication::processEvents();
    }
    const double seconds = double(clock.elapsed()) / 1000;
    std::printf("frames 1920x1080: %.1f decoded/s, %.1f painted/s (%d sent in %.1f s)\n", decoded / seconds,
        (counter.paints - paintsBefore) / seconds, sent, seconds);

    // Let the last frame drain before measuring input.
    for (int round = 0; round < 50; ++round)
        QCoreApplication::processEvents();
    std::vector<double> latencies;
    for (int press = 0; press < 200; ++press) {
        const qsizetype before = server.messagesOfType(StandInRfbServer::qemuMessage).size();
        QElapsedTimer keyClock;
        keyClock.start();
        QKeyEvent event(press % 2 == 0 ? QEvent::KeyPress : QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QApplication::sendEvent(&widget, &event);
        while (server.messagesOfType(StandInRfbServer::qemuMessage).size() == before)
            QCoreApplication::processEvents();
        latencies.push_back(double(keyClock.nsecsElapsed()) / 1e6);
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("key press to socket: median %.3f ms, 99th percentile %.3f ms, max %.3f ms\n", latencies[latencies.size() / 2],
        latencies[latencies.size() * 99 / 100], latencies.back());
    return 0;
}
