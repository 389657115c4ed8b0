// SPDX-License-Identifier: MIT
// Downloads a restore image from a server on the loopback interface, writing
// on a thread of its own as a remote server would, that breaks the transfer
// off twice, at one third and at two thirds of the file, and prints how many
// body bytes the server had to send again (must be 0, as with `wget -c`: each
// retry resumes with Range and If-Range at the last byte written; the bench
// fails otherwise), the time taken, and the process's peak resident memory
// (should stay flat whatever the image size: the body streams to disk).
//
// Usage: restore_image_download_bench [size in GiB, default 1; 10 for the full-size run]

#include "FakeHttpServerThread.h"
#include "LoggingService.h"
#include "RestoreImageDownloadService.h"
#include "TemporaryHome.h"
#include "ZipEndRecord.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <QCoroTask>

#include <cstdio>

namespace {

constexpr qint64 gibibyte = 1024LL * 1024 * 1024;

qint64 peakResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const qint64 size = (argc > 1 ? QByteArray(argv[1]).toLongLong() : 1) * gibibyte;
    if (size <= 0) {
        std::fprintf(stderr, "usage: restore_image_download_bench [GiB]\n");
        return 2;
    }

    const TemporaryHome home;
    const QString served = home.path() + QStringLiteral("/served.ipsw");
    QFile file(served);
    // Sparse, so the server reads zeros, and ending as a restore image's archive does.
    const QByteArray end = ZipEndRecord::appendedTo({});
    if (!file.open(QIODevice::WriteOnly) || !file.resize(size) || !file.seek(size - end.size()) || file.write(end) != end.size())
        return 1;
    file.close();

    int answered = 0; // on the server's thread
    FakeHttpServerThread server([&served, &answered, size](const FakeHttpServer::Request &request) {
        FakeHttpServer::Response response = FakeHttpServer::fileResponse(request, served, "\"bench\"");
        if (answered++ < 2)
            response.cutAfter = size / 3;
        return response;
    });

    LoggingService logging;
    RestoreImageDownloadService::Options options;
    options.cacheFolder = home.path() + QStringLiteral("/cache");
    options.retryDelayUnit = std::chrono::milliseconds(100);
    RestoreImageDownloadService downloads(logging, options);
    const RestoreImageInfo info{QStringLiteral("macOS 15.0"), QStringLiteral("15.0"), QStringLiteral("24A335"),
                                server.url(QStringLiteral("/image.ipsw")), std::nullopt, RestoreImageInfo::DownloadState::availableRemotely};

    QElapsedTimer clock;
    clock.start();
    QString result;
    bool done = false;
    const auto run = [&]() -> QCoro::Task<> {
        try {
            const QUrl cached = co_await downloads.download(info, [](const RestoreImageDownloadProgress &) {});
            result = cached.toLocalFile();
        } catch (const std::exception &error) {
            std::fprintf(stderr, "download failed: %s\n", error.what());
        }
        done = true;
        application.quit();
    };
    QTimer::singleShot(0, &application, [&] { QCoro::connect(run(), &application, [] {}); });
    application.exec();
    if (!done || result.isEmpty())
        return 1;

    const FakeHttpServerThread::Record record = server.stop();
    const qint64 downloaded = QFileInfo(result).size();
    const qint64 sentAgain = record.bodyBytesSent - size;
    const double seconds = double(clock.elapsed()) / 1000.0;
    std::printf("image size            %lld bytes\n", static_cast<long long>(size));
    std::printf("requests              %lld (two cut short)\n", static_cast<long long>(record.requests.size()));
    for (const FakeHttpServer::Request &request : record.requests)
        std::printf("  Range               %s\n", request.header("range").isEmpty() ? "(none)" : request.header("range").constData());
    std::printf("body bytes sent       %lld\n", static_cast<long long>(record.bodyBytesSent));
    std::printf("bytes sent again      %lld (reference, wget -c: 0)\n", static_cast<long long>(sentAgain));
    std::printf("cached file size      %lld (%s)\n", static_cast<long long>(downloaded), downloaded == size ? "complete" : "WRONG");
    std::printf("time                  %.2f s (%.0f MiB/s)\n", seconds, double(size) / (1024.0 * 1024.0) / seconds);
    std::printf("peak resident memory  %lld KiB\n", static_cast<long long>(peakResidentKiB()));
    return downloaded == size && sentAgain == 0 ? 0 : 1;
}
