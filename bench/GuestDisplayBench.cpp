// SPDX-License-Identifier: MIT
// What the console costs per frame of a guest's screen, measured beside a standard viewer (TigerVNC's
// xtigervncviewer) in the same run, on the same server and the same frames. Both clients show their frames
// in a window on an X server of the bench's own (Xvfb), so what they cost the X server counts as well.
//
// For each kind of content, three times each, one client after the other:
//   - the console: the application's display area (RfbConnection and GuestDisplayWidget) in a window that
//     shows the guest's screen 1:1, in this process;
//   - the standard viewer, in a process of its own, asking for ZRLE.
// CPU time is taken from the kernel's accounting of every thread (/proc/<pid>/task/*/schedstat): the client's
// own, and the X server's over the same time. A stand-in VNC server in another process (forked before anything
// else starts) answers each update request with one whole 1920x1080 ZRLE frame, two frames by turns:
//   - text: a terminal's lines of text, scrolled by a line from one frame to the next, so each frame differs
//     everywhere; smoothed (antialiased) as a desktop draws it, and plain as a guest's text console;
//   - photo: smooth gradients with noise.
// Then QEMU's own display, when QEMU and its AArch64 firmware are there: the firmware's shell, with text
// typed into it all the time through QEMU's monitor so that it prints and scrolls; each client negotiates
// its encoding (the standard viewer once with ZRLE and once with its default, Tight). QEMU sends what changed
// as it sees fit, so its figures are CPU per second of that same screen activity rather than per frame.
//
// The verdict is the ratio of the console's cost to the standard viewer's; the medians of the three runs are
// printed, with the client alone and with the X server counted.
//
// Usage: guest_display_bench [seconds per measure, default 3]
//        guest_display_bench profile text|console|photo [frames, default 30]
//            runs the console alone on one kind of content for a profiler (valgrind --tool=callgrind), nothing measured

#include "ConsoleDisplayArea.h"
#include "ForkedRfbServer.h"
#include "GuestDisplayConnection.h"
#include "StandInRfbServer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <functional>
#include <optional>
#include <spawn.h>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using namespace std::chrono_literals;

const QSize frameSize(1920, 1080);
constexpr int runs = 3;
/// Frames a client takes in before its measure starts, so that its start-up is not counted.
constexpr quint64 warmUpFrames = 20;

constexpr std::array<const char *, 3> contentNames { "text, ZRLE", "console text, ZRLE", "photo, ZRLE" };

// ---- The frames ----------------------------------------------------------------------------------------------

/// A terminal's screen of text: lines of words in a few colours, the first being line `first` of an endless listing;
/// smoothed as a desktop's terminal draws it, or not as a guest's text console.
QImage textPicture(int first, bool smooth)
{
    QImage image(frameSize, QImage::Format_RGB32);
    image.fill(qRgb(24, 26, 30));
    QPainter painter(&image);
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(15);
    font.setStyleStrategy(smooth ? QFont::PreferAntialias : QFont::NoAntialias);
    painter.setFont(font);
    const int lineHeight = 18;
    const std::array<QColor, 4> colours { QColor(210, 210, 210), QColor(110, 180, 255), QColor(140, 220, 120), QColor(240, 200, 90) };
    static const std::array<const char *, 12> words { "drwxr-xr-x", "root", "4096", "Dec", "11", "16:29", "lib", "share",
        "config.json", "-rw-r--r--", "1024768", "kernel" };
    for (int row = 0; row * lineHeight < frameSize.height(); ++row) {
        QRandomGenerator line(quint32(first + row));
        int x = 4;
        while (x < frameSize.width()) {
            const QString word = QString::fromLatin1(words[line.bounded(int(words.size()))]);
            painter.setPen(colours[std::size_t(line.bounded(int(colours.size())))]);
            painter.drawText(x, row * lineHeight + 14, word);
            x += (word.size() + 1 + line.bounded(3)) * 9;
        }
    }
    return image;
}

/// Smooth gradients with noise, as a photograph or a video on the guest's screen; `phase` moves the gradients.
QImage photoPicture(int phase)
{
    QImage image(frameSize, QImage::Format_RGB32);
    QRandomGenerator noise(quint32(phase + 7));
    for (int y = 0; y < frameSize.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < frameSize.width(); ++x) {
            const int grain = int(noise.bounded(12)) - 6;
            const int red = 128 + int(100 * std::sin((x + phase * 40) / 300.0)) + grain;
            const int green = 128 + int(90 * std::cos((y + phase * 25) / 200.0)) + grain;
            const int blue = (x + y + phase * 30) * 255 / (frameSize.width() + frameSize.height() + 200) + grain;
            line[x] = qRgb(std::clamp(red, 0, 255), std::clamp(green, 0, 255), std::clamp(blue, 0, 255));
        }
    }
    return image;
}

QByteArray cpixel(QRgb colour) { return QByteArray(1, char(qBlue(colour))) + char(qGreen(colour)) + char(qRed(colour)); }

/// Runs of one palette entry: the index (with the top bit when the run is longer than one), then the length.
QByteArray paletteRuns(const std::vector<QRgb> &pixels, const std::vector<QRgb> &palette)
{
    QByteArray runs;
    for (std::size_t index = 0; index < pixels.size();) {
        std::size_t end = index + 1;
        while (end < pixels.size() && pixels[end] == pixels[index])
            ++end;
        const auto entry = char(std::find(palette.begin(), palette.end(), pixels[index]) - palette.begin());
        std::size_t run = end - index;
        if (run == 1) {
            runs += entry;
        } else {
            runs += char(entry | 0x80);
            for (run -= 1; run >= 255; run -= 255)
                runs += char(255);
            runs += char(run);
        }
        index = end;
    }
    return runs;
}

/// Palette indices packed 1, 2 or 4 to a byte, each row starting on a byte.
QByteArray packedIndices(const std::vector<QRgb> &pixels, const std::vector<QRgb> &palette, int width)
{
    const int bits = palette.size() == 2 ? 1 : palette.size() <= 4 ? 2 : 4;
    QByteArray packed;
    for (std::size_t row = 0; row < pixels.size() / std::size_t(width); ++row) {
        int byte = 0;
        int used = 0;
        for (int column = 0; column < width; ++column) {
            const auto entry = int(std::find(palette.begin(), palette.end(), pixels[row * std::size_t(width) + std::size_t(column)]) - palette.begin());
            byte = byte << bits | entry;
            used += bits;
            if (used == 8) {
                packed += char(byte);
                byte = used = 0;
            }
        }
        if (used > 0)
            packed += char(byte << (8 - used));
    }
    return packed;
}

/// ZRLE tiles as a common server encodes them: solid; packed palette or palette runs, whichever is smaller; else raw.
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
            QByteArray colours;
            for (const QRgb colour : palette)
                colours += cpixel(colour);
            if (palette.size() == 1) {
                tiles += char(1) + colours;
            } else if (palette.size() <= 127) {
                const QByteArray runs = char(128 + palette.size()) + colours + paletteRuns(pixels, palette);
                const QByteArray packed
                    = palette.size() <= 16 ? char(palette.size()) + colours + packedIndices(pixels, palette, tile.width()) : QByteArray();
                tiles += !packed.isEmpty() && packed.size() < runs.size() ? packed : runs;
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

/// The server process: makes the frames (text needs fonts, so a GUI application of its own, offscreen), reports
/// the size of each content's frame on `report`, then serves the clients in the order main() runs them.
[[noreturn]] void serve(int listener, int report)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    std::array<char, 6> name { "serve" };
    std::array<char *, 2> argv { name.data(), nullptr };
    std::vector<std::array<QByteArray, 3>> updates;
    {
        const QGuiApplication application(argc, argv.data());
        updates.push_back(zrleUpdates({ textPicture(0, true), textPicture(1, true) }));
        updates.push_back(zrleUpdates({ textPicture(0, false), textPicture(1, false) }));
        updates.push_back(zrleUpdates({ photoPicture(0), photoPicture(1) }));
    }
    for (const auto &content : updates) {
        const auto bytes = quint64(content[0].size());
        [[maybe_unused]] const ssize_t told = ::write(report, &bytes, sizeof bytes);
    }
    ForkedRfbServer::serve(listener, report, contentNames.size() * runs * 2, frameSize, [&updates](std::size_t client) {
        return [&frames = updates[client / (runs * 2)]](int socket, quint64 &sent) {
            const bool open = ForkedRfbServer::writeAll(socket, sent == 0 ? frames[2] : frames[sent % 2]);
            sent += open ? 1 : 0;
            return open;
        };
    });
}

// ---- Processes and their CPU ---------------------------------------------------------------------------------

/// CPU time of all threads of `pid` so far (user and system), in seconds; the kernel counts it in nanoseconds.
double cpuSeconds(pid_t pid)
{
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    double total = 0;
    for (const QString &task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(tasks + u'/' + task + QStringLiteral("/schedstat"));
        if (file.open(QIODevice::ReadOnly))
            total += file.readAll().split(' ').value(0).toDouble() / 1e9;
    }
    return total;
}

std::optional<pid_t> spawn(const QStringList &arguments)
{
    std::vector<QByteArray> encoded;
    for (const QString &argument : arguments)
        encoded.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &argument : encoded)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return std::nullopt;
    return pid;
}

void end(pid_t pid)
{
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}

/// Starts Xvfb with a screen larger than the frames and makes it this process's display; its pid, or none.
std::optional<pid_t> startXServer()
{
    std::array<int, 2> pipe {};
    if (::pipe(pipe.data()) != 0)
        return std::nullopt;
    const std::optional<pid_t> pid = spawn({ QStringLiteral("Xvfb"), QStringLiteral("-displayfd"), QString::number(pipe[1]),
        QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("2560x1600x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp") });
    ::close(pipe[1]);
    if (!pid)
        return std::nullopt;
    std::array<char, 16> display {};
    const ssize_t got = ::read(pipe[0], display.data(), display.size() - 1);
    ::close(pipe[0]);
    if (got <= 0) {
        end(*pid);
        return std::nullopt;
    }
    qputenv("DISPLAY", ":" + QByteArray(display.data(), got).trimmed());
    return pid;
}

// ---- Measures ------------------------------------------------------------------------------------------------

/// CPU of a client and of the X server over one measure, and what it took in meanwhile (frames, or seconds).
struct Cost {
    double client = 0;
    double withX = 0;
    double units = 0;
};

/// A client under measure: start() makes it connect, pid() is the process to count, stop() makes it go.
struct Client {
    std::function<void()> start;
    std::function<pid_t()> pid;
    std::function<void()> stop;
};

/// Keeps the GUI thread's event loop running for `duration` (the console runs in this process); it sleeps while
/// there is nothing to do, so that it costs the console no CPU of its own.
void run(std::chrono::milliseconds duration)
{
    QEventLoop loop;
    QTimer::singleShot(duration, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

/// Runs `client` until `ready()`, then measures it for `seconds`; `units()` counts what it has taken in. None when it never got ready.
std::optional<Cost> measure(
    const Client &client, pid_t xServer, double seconds, const std::function<bool()> &ready, const std::function<double()> &units)
{
    client.start();
    QElapsedTimer clock;
    clock.start();
    while (!ready() && clock.elapsed() < 30000)
        run(10ms);
    if (!ready()) {
        client.stop();
        return std::nullopt;
    }
    const double client0 = cpuSeconds(client.pid());
    const double x0 = cpuSeconds(xServer);
    const double units0 = units();
    run(std::chrono::milliseconds(qint64(seconds * 1000)));
    const double client1 = cpuSeconds(client.pid());
    const double x1 = cpuSeconds(xServer);
    const double units1 = units();
    client.stop();
    return Cost { client1 - client0, (client1 - client0) + (x1 - x0), units1 - units0 };
}

/// The console's display area as a window that shows a guest screen of `screen` 1:1 (the area keeps a margin of 18 around it).
Client console(const QString &socket, QSize screen, const std::shared_ptr<std::unique_ptr<ConsoleDisplayArea>> &area)
{
    return Client {
        [area, socket, screen] {
            *area = std::make_unique<ConsoleDisplayArea>();
            (*area)->setPlaceholder(std::nullopt);
            (*area)->resize(screen + QSize(36, 36));
            (*area)->show();
            (*area)->follow(ConsoleDisplayLink::attach, [socket] { return socket; });
        },
        [] { return ::getpid(); },
        [area] {
            (*area)->follow(ConsoleDisplayLink::detach, {});
            area->reset();
            run(100ms);
        },
    };
}

/// The standard viewer in a window of `screen`; `options` choose its encoding.
Client viewer(const QString &socket, QSize screen, const QStringList &options)
{
    auto pid = std::make_shared<pid_t>(-1);
    return Client {
        [pid, socket, screen, options] {
            const QStringList common { QStringLiteral("xtigervncviewer"), QStringLiteral("-geometry"),
                QStringLiteral("%1x%2+0+0").arg(screen.width()).arg(screen.height()), QStringLiteral("-RemoteResize=0"),
                QStringLiteral("-Shared"), QStringLiteral("-SecurityTypes"), QStringLiteral("None"), QStringLiteral("-AlertOnFatalError=0") };
            *pid = spawn(common + options + QStringList { socket }).value_or(-1);
        },
        [pid] { return *pid; },
        [pid] {
            if (*pid > 0)
                end(*pid);
        },
    };
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

/// Milliseconds of CPU per unit, the client's and with the X server's, medians of the runs.
struct Medians {
    double client = 0;
    double withX = 0;
};

Medians medians(const std::vector<Cost> &costs)
{
    std::vector<double> client;
    std::vector<double> withX;
    for (const Cost &cost : costs) {
        client.push_back(cost.client * 1000 / std::max(cost.units, 1e-9));
        withX.push_back(cost.withX * 1000 / std::max(cost.units, 1e-9));
    }
    return { median(client), median(withX) };
}

void printHeader()
{
    std::printf("%-24s %-9s %-19s  %-14s %-19s  %s\n", "content", "ms CPU per", "console (with X)", "standard viewer", "(with X)",
        "ratio: client only / with X");
}

void printRow(const char *content, const char *unit, const Medians &console, const char *viewerName, const Medians &viewer)
{
    std::printf("%-24s %-9s %7.2f (%7.2f)     %-14s %7.2f (%7.2f)     %5.2fx / %5.2fx\n", content, unit, console.client, console.withX,
        viewerName, viewer.client, viewer.withX, console.client / viewer.client, console.withX / viewer.withX);
    std::fflush(stdout);
}

/// Runs each client `runs` times by turns; none when one of them never got ready.
std::optional<std::vector<std::vector<Cost>>> compare(const std::vector<Client> &clients, pid_t xServer, double seconds,
    const std::function<bool()> &ready, const std::function<double()> &units, const std::function<void()> &after)
{
    std::vector<std::vector<Cost>> costs(clients.size());
    for (int index = 0; index < runs; ++index)
        for (std::size_t client = 0; client < clients.size(); ++client) {
            const std::optional<Cost> cost = measure(clients[client], xServer, seconds, ready, units);
            after();
            if (!cost)
                return std::nullopt;
            costs[client].push_back(*cost);
        }
    return costs;
}

// ---- QEMU's display ------------------------------------------------------------------------------------------

/// A QEMU with the AArch64 firmware and no system, whose shell gets text typed into it all the time by a process of its own.
struct Qemu {
    pid_t qemu = -1;
    pid_t typist = -1;
    QString display;
};

/// Types "help -b" and Enter into the firmware's shell, over and over, through QEMU's monitor at `monitor`.
[[noreturn]] void type(const QString &monitor)
{
    const sockaddr_un address = ForkedRfbServer::unixAddress(monitor);
    int socket = -1;
    for (;;) {
        socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::connect(socket, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
            break;
        ::close(socket);
        ::usleep(200000);
    }
    const std::array<const char *, 8> keys { "h", "e", "l", "p", "spc", "minus", "b", "ret" };
    std::array<char, 4096> scratch {};
    for (;;) {
        for (const char *key : keys) {
            if (!ForkedRfbServer::writeAll(socket, QByteArray("sendkey ") + key + '\n'))
                ::_exit(0);
            ::usleep(20000);
            [[maybe_unused]] const ssize_t read = ::recv(socket, scratch.data(), scratch.size(), MSG_DONTWAIT);
        }
        ::usleep(150000);
    }
}

/// Starts QEMU and its typist (before the application starts any thread); none when QEMU or its firmware is missing.
std::optional<Qemu> startQemu(const QString &folder)
{
    const QString code = QStringLiteral("/usr/share/AAVMF/AAVMF_CODE.fd");
    const QString variables = folder + QStringLiteral("/vars.fd");
    if (QStandardPaths::findExecutable(QStringLiteral("qemu-system-aarch64")).isEmpty() || !QFile::exists(code)
        || !QFile::copy(QStringLiteral("/usr/share/AAVMF/AAVMF_VARS.fd"), variables))
        return std::nullopt;
    QFile::setPermissions(variables, QFile::ReadOwner | QFile::WriteOwner);
    Qemu qemu { -1, -1, folder + QStringLiteral("/qemu-vnc.sock") };
    const QString monitor = folder + QStringLiteral("/qemu-monitor.sock");
    const std::optional<pid_t> pid = spawn({ QStringLiteral("qemu-system-aarch64"), QStringLiteral("-M"), QStringLiteral("virt"),
        QStringLiteral("-cpu"), QStringLiteral("cortex-a72"), QStringLiteral("-m"), QStringLiteral("512"), QStringLiteral("-nodefaults"),
        QStringLiteral("-nic"), QStringLiteral("none"), QStringLiteral("-device"), QStringLiteral("virtio-gpu-pci"), QStringLiteral("-device"),
        QStringLiteral("qemu-xhci"), QStringLiteral("-device"), QStringLiteral("usb-kbd"), QStringLiteral("-drive"),
        QStringLiteral("if=pflash,format=raw,readonly=on,file=") + code, QStringLiteral("-drive"),
        QStringLiteral("if=pflash,format=raw,file=") + variables, QStringLiteral("-display"), QStringLiteral("none"), QStringLiteral("-vnc"),
        QStringLiteral("unix:") + qemu.display, QStringLiteral("-monitor"), QStringLiteral("unix:%1,server,nowait").arg(monitor) });
    if (!pid)
        return std::nullopt;
    qemu.qemu = *pid;
    qemu.typist = ::fork();
    if (qemu.typist == 0)
        type(monitor);
    return qemu;
}

} // namespace

/// The console alone on the frames of `content` until `frames` were sent; for a profiler.
int profile(const ForkedRfbServer::Process &server, const QString &path, std::size_t content, quint64 frames)
{
    auto area = std::make_shared<std::unique_ptr<ConsoleDisplayArea>>();
    const Client ours = console(path, frameSize, area);
    // The server serves the contents in order, each to the clients of its runs: the others connect and leave at once.
    for (std::size_t client = 0; client < content * runs * 2; ++client) {
        const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const sockaddr_un address = ForkedRfbServer::unixAddress(path);
        ::connect(socket, reinterpret_cast<const sockaddr *>(&address), sizeof address);
        ::close(socket);
        quint64 sent = 0;
        [[maybe_unused]] const ssize_t heard = ::read(server.report, &sent, sizeof sent);
    }
    ours.start();
    while (server.framesSent->load() < frames)
        run(10ms);
    ours.stop();
    return 0;
}

int main(int argc, char **argv)
{
    const bool profiling = argc > 2 && qstrcmp(argv[1], "profile") == 0;
    const double seconds = argc > 1 && !profiling ? std::max(1.0, std::atof(argv[1])) : 3.0;
    QTemporaryDir folder;
    const QString path = folder.path() + QStringLiteral("/vnc.sock");
    const std::optional<ForkedRfbServer::Process> server = ForkedRfbServer::start(path, serve);
    if (!server)
        return 1;
    std::array<quint64, contentNames.size()> frameBytes {};
    for (quint64 &bytes : frameBytes)
        if (::read(server->report, &bytes, sizeof bytes) != sizeof bytes)
            return 1;
    const std::optional<Qemu> qemu = profiling ? std::nullopt : startQemu(folder.path());
    QElapsedTimer sinceQemuStarted;
    sinceQemuStarted.start();
    const std::optional<pid_t> xServer = startXServer();
    if (!xServer || QStandardPaths::findExecutable(QStringLiteral("xtigervncviewer")).isEmpty()) {
        std::fprintf(stderr, "Xvfb and xtigervncviewer (Debian's xvfb and tigervnc-viewer) are needed\n");
        if (qemu) {
            end(qemu->typist);
            end(qemu->qemu);
        }
        if (xServer)
            end(*xServer);
        ::kill(server->pid, SIGTERM);
        return 1;
    }

    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    if (profiling) {
        const std::size_t content = qstrcmp(argv[2], "photo") == 0 ? 2 : qstrcmp(argv[2], "console") == 0 ? 1 : 0;
        const int status = profile(*server, path, content,
            quint64(argc > 3 ? std::max(1, std::atoi(argv[3])) : 30));
        ::kill(server->pid, SIGTERM);
        end(*xServer);
        return status;
    }
    std::printf("Both clients on Xvfb, one after the other; CPU of all their threads, and of the X server's meanwhile;\n"
                "medians of %d runs of %.0f s. Frames of 1920x1080 from a server in another process, ZRLE: text %llu bytes, console\n"
                "text %llu, photo %llu.\n",
        runs, seconds, static_cast<unsigned long long>(frameBytes[0]), static_cast<unsigned long long>(frameBytes[1]),
        static_cast<unsigned long long>(frameBytes[2]));
    printHeader();
    auto area = std::make_shared<std::unique_ptr<ConsoleDisplayArea>>();
    const QStringList zrle { QStringLiteral("-AutoSelect=0"), QStringLiteral("-FullColor"), QStringLiteral("-PreferredEncoding"),
        QStringLiteral("ZRLE") };
    const std::vector<Client> clients { console(path, frameSize, area), viewer(path, frameSize, zrle) };
    for (std::size_t content = 0; content < contentNames.size(); ++content) {
        const auto costs = compare(
            clients, *xServer, seconds, [&server] { return server->framesSent->load() >= warmUpFrames; },
            [&server] { return double(server->framesSent->load()); },
            [&server] {
                quint64 sent = 0;
                [[maybe_unused]] const ssize_t heard = ::read(server->report, &sent, sizeof sent);
            });
        if (!costs) {
            std::printf("%-24s a client took no frames\n", contentNames[content]);
            break;
        }
        printRow(contentNames[content], "frame", medians((*costs)[0]), "ZRLE", medians((*costs)[1]));
    }
    ::kill(server->pid, SIGTERM);
    ::waitpid(server->pid, nullptr, 0);

    if (qemu) {
        // The firmware needs a while to reach its shell; the typing before that only answers its boot prompt.
        while (sinceQemuStarted.elapsed() < 40000)
            run(100ms);
        const QSize firmwareScreen(1280, 800);
        const std::vector<Client> qemuClients { console(qemu->display, firmwareScreen, area), viewer(qemu->display, firmwareScreen, zrle),
            viewer(qemu->display, firmwareScreen, {}) };
        // QEMU sends what changed when it changed; each client gets two seconds to connect and settle.
        auto clock = std::make_shared<QElapsedTimer>();
        const auto costs = compare(
            qemuClients, *xServer, seconds,
            [clock] {
                if (!clock->isValid())
                    clock->start();
                return clock->elapsed() >= 2000;
            },
            [clock] { return double(clock->nsecsElapsed()) / 1e9; }, [clock] { clock->invalidate(); });
        if (costs) {
            const Medians ours = medians((*costs)[0]);
            printRow("QEMU firmware shell", "second", ours, "ZRLE", medians((*costs)[1]));
            printRow("", "", ours, "Tight (default)", medians((*costs)[2]));
        } else {
            std::printf("QEMU's display could not be reached\n");
        }
        end(qemu->typist);
        end(qemu->qemu);
    } else {
        std::printf("QEMU's display: skipped, qemu-system-aarch64 or its firmware (/usr/share/AAVMF) is missing\n");
    }
    area->reset();
    end(*xServer);
    return 0;
}
