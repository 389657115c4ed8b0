// SPDX-License-Identifier: MIT
// Measures the restore-image download next to `wget -c` against the same
// HTTP server, which runs in a process of its own (Range, If-Range, ETag;
// the body is made on the fly: zeros ending as a zip archive does). Each
// client runs in a child process of its own too, so that its peak resident
// memory is its own. Two cases:
//
//   - a file cut twice: the server hangs up at one third and at two thirds,
//     and each client resumes; bytes fetched twice must be 0;
//   - a file written to a slow disk: a FUSE folder (slow_write_folder) whose
//     writes are held to a rate below the network's; memory must not grow.
//
// Printed per case and client: time, peak resident memory, bytes fetched
// twice. Exits non-zero when this project's download fails, fetches a byte
// twice or passes the memory bound.
//
// Usage: restore_image_download_bench [--url URL] [--cut-size GiB] [--slow-size GiB] [--rate MiB/s]
//   --url         download from another server instead (no cuts; bytes fetched twice are then not known)
//   --cut-size    size of the file cut twice, default 1
//   --slow-size   size of the file written to the slow folder, default 2; 0 skips the case
//   --rate        the slow folder's write rate, default 30
// Internal modes: `serve <bytes> <cuts>` (the server), `fetch <url> <folder>` (one download by this project).

#include "LoggingService.h"
#include "RestoreImageDownloadService.h"
#include "TemporaryHome.h"
#include "ZipEndRecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <QCoroTask>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace {

constexpr qint64 gibibyte = 1024LL * 1024 * 1024;
constexpr qint64 mebibyte = 1024LL * 1024;
/// The most memory a download may take, whatever the file's size or the disk's speed.
constexpr qint64 memoryBoundKiB = 64 * 1024;
constexpr long fuseSuperMagic = 0x65735546;
const QByteArray etag = "\"bench\"";

// ---- the server -------------------------------------------------------------------------------------------------------

/// Serves `size` bytes of zeros ending in a zip end record; hangs up on the first `cuts` transfers at even fractions of the file.
class BenchServer
{
public:
    BenchServer(qint64 size, int cuts)
        : m_size(size)
        , m_cuts(cuts)
        , m_end(ZipEndRecord::appendedTo({}))
    {
    }

    int run()
    {
        const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int yes = 1;
        ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener, reinterpret_cast<sockaddr *>(&address), length) != 0 || ::listen(listener, 16) != 0
            || ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return 1;
        std::printf("port %d\n", ntohs(address.sin_port));
        std::fflush(stdout);
        for (;;) {
            const int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0)
                continue;
            {
                const std::lock_guard lock(m_mutex);
                ++m_active;
            }
            std::thread([this, connection] {
                answer(connection);
                ::shutdown(connection, SHUT_WR);
                ::close(connection);
                const std::lock_guard lock(m_mutex);
                --m_active;
                m_idle.notify_all();
            }).detach();
        }
    }

private:
    static bool sendAll(int connection, const char *data, qint64 size)
    {
        while (size > 0) {
            const ssize_t done = ::send(connection, data, size_t(size), MSG_NOSIGNAL);
            if (done < 0 && errno == EINTR)
                continue;
            if (done <= 0)
                return false;
            data += done;
            size -= done;
        }
        return true;
    }

    static bool sendAll(int connection, const QByteArray &bytes) { return sendAll(connection, bytes.constData(), bytes.size()); }

    void answer(int connection)
    {
        QByteArray request;
        char buffer[4096];
        while (!request.contains("\r\n\r\n")) {
            const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
            if (got <= 0)
                return;
            request.append(buffer, got);
        }
        const QList<QByteArray> lines = request.left(request.indexOf("\r\n\r\n")).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        QByteArray range;
        QByteArray ifRange;
        for (const QByteArray &line : lines.mid(1)) {
            const qsizetype colon = line.indexOf(':');
            const QByteArray name = line.left(colon).trimmed().toLower();
            if (name == "range")
                range = line.mid(colon + 1).trimmed();
            else if (name == "if-range")
                ifRange = line.mid(colon + 1).trimmed();
        }

        if (first.value(1) == "/stats") {
            // Answered once every other transfer has ended, so the count is final.
            std::unique_lock lock(m_mutex);
            m_idle.wait(lock, [this] { return m_active == 1; });
            const QByteArray body = QByteArray::number(m_sent);
            sendAll(connection, "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
            return;
        }

        qint64 start = 0;
        if (range.startsWith("bytes=") && range.endsWith('-') && (ifRange.isEmpty() || ifRange == etag))
            start = range.mid(6, range.size() - 7).toLongLong();
        QByteArray head;
        if (start >= m_size && start > 0) {
            sendAll(connection, "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */" + QByteArray::number(m_size)
                                    + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            return;
        }
        head = start > 0 ? "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + QByteArray::number(start) + '-' + QByteArray::number(m_size - 1)
                               + '/' + QByteArray::number(m_size) + "\r\n"
                         : QByteArray("HTTP/1.1 200 OK\r\n");
        head += "Content-Length: " + QByteArray::number(m_size - start) + "\r\nETag: " + etag
                + "\r\nAccept-Ranges: bytes\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n\r\n";
        if (!sendAll(connection, head) || first.value(0) == "HEAD")
            return;

        qint64 end = m_size;
        {
            const std::lock_guard lock(m_mutex);
            if (m_transfers < m_cuts)
                end = std::clamp(m_size * (m_transfers + 1) / (m_cuts + 1), start, m_size);
            ++m_transfers;
        }
        QByteArray chunk(qsizetype(mebibyte), '\0');
        for (qint64 offset = start; offset < end;) {
            const qint64 size = std::min<qint64>(chunk.size(), end - offset);
            // Only the last bytes are not zeros.
            const qint64 endStart = m_size - m_end.size();
            chunk.fill('\0');
            for (qint64 index = std::max(offset, endStart); index < offset + size; ++index)
                chunk[index - offset] = m_end[index - endStart];
            if (!sendAll(connection, chunk.constData(), size))
                return;
            offset += size;
            const std::lock_guard lock(m_mutex);
            m_sent += size;
        }
    }

    const qint64 m_size;
    const int m_cuts;
    const QByteArray m_end;
    std::mutex m_mutex;
    std::condition_variable m_idle;
    int m_active = 0;
    int m_transfers = 0;
    qint64 m_sent = 0;
};

// ---- this project's download, in a child process ----------------------------------------------------------------------

int fetch(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const TemporaryHome home;
    LoggingService logging;
    RestoreImageDownloadService::Options options;
    options.cacheFolder = QString::fromLocal8Bit(argv[3]);
    options.retryDelayUnit = std::chrono::milliseconds(100);
    RestoreImageDownloadService downloads(logging, options);
    const RestoreImageInfo info{QStringLiteral("macOS 15.0"), QStringLiteral("15.0"), QStringLiteral("24A335"), QUrl(QString::fromLocal8Bit(argv[2])),
                                std::nullopt, RestoreImageInfo::DownloadState::availableRemotely};
    int status = 1;
    const auto run = [&]() -> QCoro::Task<> {
        try {
            co_await downloads.download(info, [](const RestoreImageDownloadProgress &) {});
            status = 0;
        } catch (const std::exception &error) {
            std::fprintf(stderr, "download failed: %s\n", error.what());
        }
        application.quit();
    };
    QTimer::singleShot(0, &application, [&] { QCoro::connect(run(), &application, [] {}); });
    application.exec();
    return status;
}

// ---- the measurements -------------------------------------------------------------------------------------------------

struct Measurement {
    bool ok = false;
    double seconds = 0;
    qint64 peakKiB = 0;
    std::optional<qint64> fetchedTwice;
};

/// Runs a program to its end through peak_memory; its time and peak resident memory.
Measurement runMeasured(const std::string &runner, const std::string &resultFile, const std::vector<std::string> &command)
{
    std::vector<char *> arguments{const_cast<char *>(runner.c_str()), const_cast<char *>(resultFile.c_str())};
    for (const std::string &argument : command)
        arguments.push_back(const_cast<char *>(argument.c_str()));
    arguments.push_back(nullptr);
    const auto started = std::chrono::steady_clock::now();
    pid_t child = 0;
    Measurement measurement;
    if (::posix_spawn(&child, runner.c_str(), nullptr, nullptr, arguments.data(), environ) != 0)
        return measurement;
    int status = 0;
    ::waitpid(child, &status, 0);
    measurement.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    int exitCode = -1;
    long peakKiB = 0;
    if (std::FILE *result = std::fopen(resultFile.c_str(), "r")) {
        if (std::fscanf(result, "%d %ld", &exitCode, &peakKiB) != 2)
            exitCode = -1;
        std::fclose(result);
    }
    measurement.peakKiB = peakKiB;
    measurement.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && exitCode == 0;
    return measurement;
}

/// The server in a child process; stopped with the object.
class ServerProcess
{
public:
    ServerProcess(const std::string &program, qint64 size, int cuts)
    {
        int output[2];
        if (::pipe2(output, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
        const std::string sizeText = std::to_string(size);
        const std::string cutsText = std::to_string(cuts);
        char *arguments[] = {const_cast<char *>(program.c_str()), const_cast<char *>("serve"), const_cast<char *>(sizeText.c_str()),
                             const_cast<char *>(cutsText.c_str()), nullptr};
        if (::posix_spawn(&m_pid, program.c_str(), &actions, nullptr, arguments, environ) != 0)
            m_pid = 0;
        posix_spawn_file_actions_destroy(&actions);
        ::close(output[1]);
        char line[64] = {};
        const ssize_t got = ::read(output[0], line, sizeof line - 1);
        ::close(output[0]);
        int port = 0;
        if (got > 0 && std::sscanf(line, "port %d", &port) == 1)
            m_port = port;
    }
    ~ServerProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    ServerProcess(const ServerProcess &) = delete;
    ServerProcess &operator=(const ServerProcess &) = delete;

    bool isRunning() const { return m_port > 0; }
    std::string url(const char *path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }

    /// Body bytes the server has sent, over every transfer, once all have ended.
    qint64 bodyBytesSent() const
    {
        const int connection = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(quint16(m_port));
        QByteArray answer;
        if (::connect(connection, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
            const char request[] = "GET /stats HTTP/1.1\r\nHost: bench\r\n\r\n";
            ::send(connection, request, sizeof request - 1, MSG_NOSIGNAL);
            char buffer[512];
            for (ssize_t got; (got = ::recv(connection, buffer, sizeof buffer, 0)) > 0;)
                answer.append(buffer, got);
        }
        ::close(connection);
        return answer.mid(answer.indexOf("\r\n\r\n") + 4).toLongLong();
    }

private:
    pid_t m_pid = 0;
    int m_port = 0;
};

/// The slow folder mounted over a backing folder; unmounted with the object.
class SlowFolder
{
public:
    SlowFolder(const QString &program, const QString &backing, const QString &mountPoint, double rate)
        : m_mountPoint(mountPoint)
    {
        QDir().mkpath(backing);
        QDir().mkpath(mountPoint);
        const std::string programPath = QFile::encodeName(program).toStdString();
        const std::string backingPath = QFile::encodeName(backing).toStdString();
        const std::string rateText = std::to_string(rate);
        const std::string mountPath = QFile::encodeName(mountPoint).toStdString();
        char *arguments[] = {const_cast<char *>(programPath.c_str()), const_cast<char *>(backingPath.c_str()), const_cast<char *>(rateText.c_str()),
                             const_cast<char *>(mountPath.c_str()), nullptr};
        if (::posix_spawn(&m_pid, programPath.c_str(), nullptr, nullptr, arguments, environ) != 0) {
            m_pid = 0;
            return;
        }
        // The mount takes a moment; a bench may look again and again.
        for (int tries = 0; tries < 200 && !isMounted(); ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~SlowFolder()
    {
        // The FUSE process unmounts the folder as it ends.
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    SlowFolder(const SlowFolder &) = delete;
    SlowFolder &operator=(const SlowFolder &) = delete;

    bool isMounted() const
    {
        struct statfs status {};
        return ::statfs(QFile::encodeName(m_mountPoint).constData(), &status) == 0 && status.f_type == fuseSuperMagic;
    }

private:
    QString m_mountPoint;
    pid_t m_pid = 0;
};

struct Client {
    const char *name;
    /// The command that downloads `url` into `folder`.
    std::function<std::vector<std::string>(const std::string &url, const QString &folder)> command;
};

struct Row {
    QString label;
    Measurement ours;
    Measurement wget;
};

/// Downloads the served file with each client into a folder of its own under `folder`, and removes what it downloaded.
Measurement measure(const Client &client, const std::string &self, const std::optional<std::string> &externalURL, qint64 size, int cuts,
                    const QString &folder)
{
    const QString target = folder + QLatin1Char('/') + QString::fromLatin1(client.name).section(QLatin1Char(' '), 0, 0);
    QDir().mkpath(target);
    std::optional<ServerProcess> server;
    if (!externalURL) {
        server.emplace(self, size, cuts);
        if (!server->isRunning())
            return {};
    }
    const std::string url = externalURL ? *externalURL : server->url("/image.ipsw");
    const std::string runner = QFile::encodeName(QCoreApplication::applicationDirPath() + QStringLiteral("/peak_memory")).toStdString();
    Measurement measurement = runMeasured(runner, QFile::encodeName(folder + QStringLiteral("/measurement")).toStdString(), client.command(url, target));
    if (server) {
        const qint64 sent = server->bodyBytesSent();
        measurement.fetchedTwice = sent - size;
    }
    QDir(target).removeRecursively();
    return measurement;
}

QString formatTime(const Measurement &m)
{
    return m.ok ? QStringLiteral("%1 s").arg(m.seconds, 0, 'f', 2) : QStringLiteral("failed");
}

QString formatMemory(const Measurement &m)
{
    return QStringLiteral("%1 MiB").arg(double(m.peakKiB) / 1024.0, 0, 'f', 1);
}

QString formatTwice(const Measurement &m)
{
    return m.fetchedTwice ? QStringLiteral("%1 bytes").arg(*m.fetchedTwice) : QStringLiteral("n/a");
}

int orchestrate(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    const auto option = [&](const QString &name, const QString &fallback) {
        const qsizetype at = arguments.indexOf(name);
        return at >= 0 && at + 1 < arguments.size() ? arguments[at + 1] : fallback;
    };
    std::optional<std::string> externalURL;
    if (arguments.contains(QStringLiteral("--url")))
        externalURL = option(QStringLiteral("--url"), {}).toStdString();
    const qint64 cutSize = qint64(option(QStringLiteral("--cut-size"), QStringLiteral("1")).toDouble() * double(gibibyte));
    const qint64 slowSize = qint64(option(QStringLiteral("--slow-size"), QStringLiteral("2")).toDouble() * double(gibibyte));
    const double rate = option(QStringLiteral("--rate"), QStringLiteral("30")).toDouble();
    if (cutSize <= 0 || slowSize < 0 || rate <= 0) {
        std::fprintf(stderr, "usage: restore_image_download_bench [--url URL] [--cut-size GiB] [--slow-size GiB] [--rate MiB/s]\n");
        return 2;
    }

    const std::string self = QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
    const QTemporaryDir work(QDir::tempPath() + QStringLiteral("/restore-image-bench-XXXXXX"));
    const Client ours{"this project", [&](const std::string &url, const QString &folder) {
                          return std::vector<std::string>{self, "fetch", url, QFile::encodeName(folder).toStdString()};
                      }};
    const Client wget{"wget -c", [](const std::string &url, const QString &folder) {
                          return std::vector<std::string>{"wget", "-c", "-q", "--tries=20", "--waitretry=0", "--retry-connrefused",
                                                          "-O", QFile::encodeName(folder + QStringLiteral("/image.ipsw")).toStdString(), url};
                      }};

    QList<Row> rows;
    const int cuts = externalURL ? 0 : 2;
    const QString cutLabel = externalURL ? QStringLiteral("download, local disk")
                                         : QStringLiteral("%1 GiB, cut twice, local disk").arg(double(cutSize) / double(gibibyte));
    std::printf("%s...\n", qPrintable(cutLabel));
    rows.append({cutLabel, measure(ours, self, externalURL, cutSize, cuts, work.path() + QStringLiteral("/cut")),
                 measure(wget, self, externalURL, cutSize, cuts, work.path() + QStringLiteral("/cut"))});

    bool slowSkipped = false;
    if (slowSize > 0) {
        const QString label = externalURL ? QStringLiteral("download, disk at %1 MiB/s").arg(rate)
                                          : QStringLiteral("%1 GiB, disk at %2 MiB/s").arg(double(slowSize) / double(gibibyte)).arg(rate);
        std::printf("%s...\n", qPrintable(label));
        const SlowFolder folder(QCoreApplication::applicationDirPath() + QStringLiteral("/slow_write_folder"), work.path() + QStringLiteral("/backing"),
                                work.path() + QStringLiteral("/slow"), rate);
        if (folder.isMounted()) {
            rows.append({label, measure(ours, self, externalURL, slowSize, 0, work.path() + QStringLiteral("/slow")),
                         measure(wget, self, externalURL, slowSize, 0, work.path() + QStringLiteral("/slow"))});
        } else {
            slowSkipped = true;
            std::fprintf(stderr, "the slow folder could not be mounted (slow_write_folder, /dev/fuse, fusermount3): that case is skipped\n");
        }
    }

    bool passed = !slowSkipped;
    std::printf("\n| case | client | time | peak memory | bytes fetched twice |\n|---|---|---|---|---|\n");
    for (const Row &row : std::as_const(rows)) {
        for (const auto &[name, m] : {std::pair{"this project", row.ours}, std::pair{"wget -c", row.wget}})
            std::printf("| %s | %s | %s | %s | %s |\n", qPrintable(row.label), name, qPrintable(formatTime(m)), qPrintable(formatMemory(m)),
                        qPrintable(formatTwice(m)));
        if (row.ours.ok && row.wget.ok)
            std::printf("| %s | ratio | %.2f× | %.1f× | |\n", qPrintable(row.label), row.ours.seconds / row.wget.seconds,
                        double(row.ours.peakKiB) / double(std::max<qint64>(1, row.wget.peakKiB)));
        passed = passed && row.ours.ok && row.ours.peakKiB <= memoryBoundKiB && row.ours.fetchedTwice.value_or(0) == 0;
    }
    std::printf("\nbound: 0 bytes fetched twice, peak memory <= %lld MiB; goal: time <= 1.5x wget -c. %s\n",
                static_cast<long long>(memoryBoundKiB / 1024), passed ? "PASSED" : "FAILED");
    return passed ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 4 && std::strcmp(argv[1], "serve") == 0) {
        ::signal(SIGPIPE, SIG_IGN);
        return BenchServer(std::atoll(argv[2]), std::atoi(argv[3])).run();
    }
    if (argc == 4 && std::strcmp(argv[1], "fetch") == 0)
        return fetch(argc, argv);
    return orchestrate(argc, argv);
}
