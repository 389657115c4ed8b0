// SPDX-License-Identifier: MIT
// Feeds full 1920x1080 frames to the console's display from a stand-in VNC server running in another
// process (forked before the application starts), as QEMU's server does, and prints for each way of
// taking them in the frames per second and the client's CPU time per frame (all its threads, user and
// system; robust to other load on the machine):
//   - the socket's limit: a bare client that reads the Raw bytes and throws them away, no decoding;
//   - the console (RfbConnection and GuestDisplayWidget, painting offscreen) with Raw frames;
//   - the console with the same frames in ZRLE.
// Like QEMU, the server answers each update request with one whole frame.
//
// Usage: guest_display_bench [seconds per measure, default 4]

#include "ForkedRfbServer.h"
#include "GuestDisplayWidget.h"
#include "RfbConnection.h"
#include "StandInRfbServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <zlib.h>

#include <array>
#include <cstdio>
#include <vector>

#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using ForkedRfbServer::readAll;
using ForkedRfbServer::writeAll;

const QSize frameSize(1920, 1080);

QImage framePicture(QRgb colour)
{
    QImage image(frameSize, QImage::Format_RGB32);
    image.fill(colour);
    for (int y = 0; y < frameSize.height(); y += 8)
        for (int x = 0; x < frameSize.width(); x += 8)
            image.setPixel(x, y, qRgb(x % 256, y % 256, 128));
    return image;
}

QByteArray cpixel(QRgb colour) { return QByteArray(1, char(qBlue(colour))) + char(qGreen(colour)) + char(qRed(colour)); }

/// ZRLE tiles as a simple server encodes them: solid, palette runs up to 127 colours, else raw.
QByteArray zrleTiles(const QImage &image)
{
    QByteArray tiles;
    for (int ty = 0; ty < image.height(); ty += 64)
        for (int tx = 0; tx < image.width(); tx += 64) {
            const QRect tile = QRect(tx, ty, 64, 64).intersected(image.rect());
            std::vector<QRgb> palette;
            std::vector<QRgb> pixels;
            for (int y = tile.top(); y <= tile.bottom(); ++y)
                for (int x = tile.left(); x <= tile.right(); ++x) {
                    const QRgb colour = image.pixel(x, y) & 0xFFFFFF;
                    pixels.push_back(colour);
                    if (palette.size() <= 127 && std::find(palette.begin(), palette.end(), colour) == palette.end())
                        palette.push_back(colour);
                }
            if (palette.size() == 1) {
                tiles += char(1) + cpixel(palette[0]);
            } else if (palette.size() <= 127) {
                tiles += char(128 + palette.size());
                for (const QRgb colour : palette)
                    tiles += cpixel(colour);
                for (std::size_t index = 0; index < pixels.size();) {
                    std::size_t end = index + 1;
                    while (end < pixels.size() && pixels[end] == pixels[index])
                        ++end;
                    const auto entry = char(std::find(palette.begin(), palette.end(), pixels[index]) - palette.begin());
                    std::size_t run = end - index;
                    if (run == 1) {
                        tiles += entry;
                    } else {
                        tiles += char(entry | 0x80);
                        for (run -= 1; run >= 255; run -= 255)
                            tiles += char(255);
                        tiles += char(run);
                    }
                    index = end;
                }
            } else {
                tiles += char(0);
                for (const QRgb colour : pixels)
                    tiles += cpixel(colour);
            }
        }
    return tiles;
}

/// Whole ZRLE updates, each ending in a full flush so that they may be replayed in any order on one stream;
/// the third is the first with the stream's header, to be sent first.
std::array<QByteArray, 3> zrleUpdates(const std::array<QImage, 2> &pictures)
{
    z_stream stream {};
    deflateInit(&stream, Z_DEFAULT_COMPRESSION);
    std::array<char, 64> header {};
    stream.next_out = reinterpret_cast<Bytef *>(header.data());
    stream.avail_out = uInt(header.size());
    deflate(&stream, Z_FULL_FLUSH);
    const QByteArray streamHeader(header.data(), qsizetype(header.size() - stream.avail_out));
    std::array<QByteArray, 3> updates;
    for (std::size_t index = 0; index < pictures.size(); ++index) {
        QByteArray tiles = zrleTiles(pictures[index]);
        QByteArray data(int(deflateBound(&stream, uLong(tiles.size()))) + 64, '\0');
        stream.next_in = reinterpret_cast<Bytef *>(tiles.data());
        stream.avail_in = uInt(tiles.size());
        stream.next_out = reinterpret_cast<Bytef *>(data.data());
        stream.avail_out = uInt(data.size());
        deflate(&stream, Z_FULL_FLUSH);
        data.resize(data.size() - qsizetype(stream.avail_out));
        const QByteArray head = StandInRfbServer::updateHeader(1) + StandInRfbServer::rectangleHeader(QRect(QPoint(), frameSize), 16);
        updates[index] = head + StandInRfbServer::u32(quint32(data.size())) + data;
        if (index == 0)
            updates[2] = head + StandInRfbServer::u32(quint32(streamHeader.size() + data.size())) + streamHeader + data;
    }
    deflateEnd(&stream);
    return updates;
}

/// The server process: one client after another, `updates[i]` for the i-th (two frames by turns, the third
/// instead of the first at the start); reports the frames sent to each on `report`.
[[noreturn]] void serve(int listener, int report, const std::array<std::array<QByteArray, 3>, 3> &updates)
{
    ForkedRfbServer::serve(listener, report, updates.size(), frameSize, [&updates](std::size_t index) {
        return [&frames = updates[index]](int client, quint64 &sent) {
            const bool open = ForkedRfbServer::writeAll(client, sent == 0 ? frames[2] : frames[sent % 2]);
            sent += open ? 1 : 0;
            return open;
        };
    });
}

double cpuSeconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Figures {
    quint64 frames = 0;
    double seconds = 0;
    double cpu = 0;
};

void print(const char *name, const Figures &figures, const char *reference)
{
    const double frames = double(std::max<quint64>(figures.frames, 1));
    std::printf("%-34s %7.1f frames/s   %6.2f ms CPU/frame   %s\n", name, double(figures.frames) / figures.seconds, figures.cpu * 1000 / frames,
        reference);
}

/// A client that takes the Raw frames in and decodes nothing: what the socket allows.
Figures socketLimit(const QString &path, double seconds, int report)
{
    const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un address = ForkedRfbServer::unixAddress(path);
    ::connect(socket, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    std::vector<char> scratch(std::size_t(frameSize.width()) * frameSize.height() * 4 + 64);
    readAll(socket, scratch.data(), 12);
    writeAll(socket, "RFB 003.008\n");
    readAll(socket, scratch.data(), 2);
    writeAll(socket, QByteArray(1, '\1'));
    readAll(socket, scratch.data(), 4);
    writeAll(socket, QByteArray(1, '\1'));
    readAll(socket, scratch.data(), 24 + 5);
    const QByteArray request = QByteArray("\x03\x01\x00\x00\x00\x00", 6) + StandInRfbServer::u16(quint16(frameSize.width()))
        + StandInRfbServer::u16(quint16(frameSize.height()));
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = cpuSeconds();
    while (double(clock.elapsed()) / 1000 < seconds) {
        writeAll(socket, request);
        readAll(socket, scratch.data(), 16 + std::size_t(frameSize.width()) * frameSize.height() * 4);
    }
    Figures figures { 0, double(clock.elapsed()) / 1000, cpuSeconds() - cpuBefore };
    ::close(socket);
    [[maybe_unused]] const ssize_t got = ::read(report, &figures.frames, sizeof figures.frames);
    return figures;
}

/// The console's own client and widget, on the GUI thread's event loop, painting what it shows.
Figures console(const QString &path, double seconds, int report, int &paints)
{
    RfbConnection connection;
    GuestDisplayWidget widget(connection);
    widget.resize(frameSize);
    widget.show();
    struct PaintCounter final : QObject {
        int &count;
        explicit PaintCounter(int &count)
            : count(count)
        {
        }
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() == QEvent::Paint)
                ++count;
            return QObject::eventFilter(watched, event);
        }
    } counter(paints);
    widget.installEventFilter(&counter);
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = cpuSeconds();
    connection.open([&path] { return path; }, std::chrono::seconds(2));
    while (double(clock.elapsed()) / 1000 < seconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    connection.close();
    Figures figures { 0, double(clock.elapsed()) / 1000, cpuSeconds() - cpuBefore };
    [[maybe_unused]] const ssize_t got = ::read(report, &figures.frames, sizeof figures.frames);
    return figures;
}

} // namespace

int main(int argc, char **argv)
{
    const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 4.0;
    const std::array<QImage, 2> pictures { framePicture(qRgb(30, 60, 90)), framePicture(qRgb(200, 100, 50)) };
    const QByteArray firstRaw = StandInRfbServer::rawUpdate(QPoint(), pictures[0]);
    const std::array<QByteArray, 3> raw { firstRaw, StandInRfbServer::rawUpdate(QPoint(), pictures[1]), firstRaw };
    const std::array<QByteArray, 3> zrle = zrleUpdates(pictures);

    QTemporaryDir folder;
    const QString path = folder.path() + QStringLiteral("/vnc.sock");
    const std::optional<ForkedRfbServer::Process> server
        = ForkedRfbServer::start(path, [&](int listener, int report) { serve(listener, report, { raw, raw, zrle }); });
    if (!server)
        return 1;

    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    std::printf("1920x1080 full frames from a server in another process; %.0f s each; ZRLE frame %lld bytes, Raw %lld\n", seconds,
        static_cast<long long>(zrle[0].size()), static_cast<long long>(raw[0].size()));
    print("Raw, no decoding (socket's limit)", socketLimit(path, seconds, server->report), "");
    int rawPaints = 0;
    const Figures rawFigures = console(path, seconds, server->report, rawPaints);
    print("console, Raw", rawFigures, "(reference: a standard viewer, Raw: 348 frames/s at 74 % CPU = 2.1 ms)");
    std::printf("%-34s %7.1f paints/s\n", "", rawPaints / rawFigures.seconds);
    int zrlePaints = 0;
    const Figures zrleFigures = console(path, seconds, server->report, zrlePaints);
    print("console, ZRLE", zrleFigures, "(reference on a QEMU display: standard viewer Raw 7.5 ms, Tight viewer 3.7 ms)");
    std::printf("%-34s %7.1f paints/s\n", "", zrlePaints / zrleFigures.seconds);
    ::waitpid(server->pid, nullptr, 0);
    return 0;
}
