// SPDX-License-Identifier: MIT
// How long the GUI thread stops while the console's display client takes in 5120x2160 frames (the largest
// screen it shows), and how much memory the client holds. A stand-in VNC server in another process (forked
// before anything is allocated here) answers each update request with a whole Raw frame; in the second
// measure it first changes the screen's size on every other request (5120x2160, then 4096x2160, and back),
// as a guest that flips its display mode does. The GUI thread runs only the connection (no widget, so no
// painting): its longest pause is the longest time between two ticks of a 1 ms timer.
//
// Usage: guest_display_stall_bench [seconds per measure, default 4]

#include "ForkedRfbServer.h"
#include "RfbConnection.h"
#include "StandInRfbServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <array>
#include <cstdio>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QSize largeSize(5120, 2160);
const QSize otherSize(4096, 2160); // above 32 MiB like the larger one, so the allocator maps and unmaps both alike

/// A whole frame of `size` in Raw, a colour of its own per `shade`.
QByteArray rawFrame(QSize size, int shade)
{
    QByteArray pixels(qsizetype(size.width()) * size.height() * 4, Qt::Uninitialized);
    char *pixel = pixels.data();
    for (qsizetype index = 0; index < pixels.size() / 4; ++index, pixel += 4) {
        pixel[0] = char(shade * 40);
        pixel[1] = char(index % 251);
        pixel[2] = char(128);
        pixel[3] = 0;
    }
    return StandInRfbServer::updateHeader(1) + StandInRfbServer::rectangleHeader(QRect(QPoint(), size), 0) + pixels;
}

QByteArray resizeTo(QSize size) { return StandInRfbServer::updateHeader(1) + StandInRfbServer::rectangleHeader(QRect(QPoint(), size), -223); }

/// The server process: one client per measure, the second with size flips; reports on `report` when its frames
/// are made, then the frames sent to each client.
[[noreturn]] void serve(int listener, int report)
{
    const std::array<QByteArray, 2> large { rawFrame(largeSize, 1), rawFrame(largeSize, 2) };
    const QByteArray other = rawFrame(otherSize, 3);
    const quint64 ready = 0;
    [[maybe_unused]] const ssize_t told = ::write(report, &ready, sizeof ready);
    ForkedRfbServer::serve(listener, report, 2, largeSize, [&large, &other](std::size_t index) {
        return [&large, &other, flips = index == 1, requests = quint64(0), isLarge = true](int client, quint64 &sent) mutable {
            if (flips && ++requests % 2 == 0) {
                isLarge = !isLarge;
                return ForkedRfbServer::writeAll(client, resizeTo(isLarge ? largeSize : otherSize));
            }
            const bool open = ForkedRfbServer::writeAll(client, isLarge ? large[sent % 2] : other);
            sent += open ? 1 : 0;
            return open;
        };
    });
}

double maximumResidentMegabytes()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024;
}

/// Runs the client for `seconds`; prints the frames per second and the longest pause of the GUI thread.
void measure(const char *name, const QString &path, double seconds, int report)
{
    RfbConnection connection;
    QElapsedTimer clock;
    QElapsedTimer sinceTurn;
    qint64 longestPause = 0;
    QTimer turns;
    turns.setTimerType(Qt::PreciseTimer);
    turns.setInterval(1);
    QObject::connect(&turns, &QTimer::timeout, [&] {
        longestPause = std::max(longestPause, sinceTurn.nsecsElapsed());
        sinceTurn.restart();
    });
    clock.start();
    sinceTurn.start();
    turns.start();
    connection.open([&path] { return path; }, std::chrono::seconds(2));
    while (double(clock.elapsed()) / 1000 < seconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    connection.close();
    const double elapsed = double(clock.elapsed()) / 1000;
    quint64 frames = 0;
    [[maybe_unused]] const ssize_t got = ::read(report, &frames, sizeof frames);
    std::printf("%-40s %6.1f frames/s   longest GUI pause %7.1f ms   peak memory so far %6.0f MB\n", name, double(frames) / elapsed,
        double(longestPause) / 1e6, maximumResidentMegabytes());
}

} // namespace

int main(int argc, char **argv)
{
    const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 4.0;
    QTemporaryDir folder;
    const QString path = folder.path() + QStringLiteral("/vnc.sock");
    const std::optional<ForkedRfbServer::Process> server = ForkedRfbServer::start(path, serve);
    if (!server)
        return 1;
    quint64 ready = 0;
    [[maybe_unused]] const ssize_t heard = ::read(server->report, &ready, sizeof ready);

    QCoreApplication application(argc, argv);
    std::printf("Raw 5120x2160 frames (%.0f MB each) from a server in another process; %.0f s each\n",
        double(largeSize.width()) * largeSize.height() * 4 / 1e6, seconds);
    measure("whole frames", path, seconds, server->report);
    measure("whole frames, the size flips in between", path, seconds, server->report);
    ::waitpid(server->pid, nullptr, 0);
    return 0;
}
