// SPDX-License-Identifier: MIT
#include "LinuxISODownload.h"

#include "DisplayFormatters.h"
#include "FakeHttpServer.h"
#include "IsoImage.h"
#include "TemporaryHome.h"
#include "TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <gtest/gtest.h>

#include <exception>
#include <optional>

namespace {

using Response = FakeHttpServer::Response;

constexpr qint64 mebibyte = 1024 * 1024;

using Request = FakeHttpServer::Request;

QCoro::Task<> runAndRecord(LinuxISODownload &download, QUrl url, QString target, std::optional<QString> &failure, bool &done)
{
    try {
        co_await download.run(url, target, {});
    } catch (const std::exception &error) {
        failure = QString::fromUtf8(error.what());
    }
    done = true;
}

class LinuxISODownloadTest : public ::testing::Test
{
protected:
    LinuxISODownloadTest()
    {
        EXPECT_TRUE(IsoImage::write(m_home.path() + QStringLiteral("/source.iso"), {{"README.TXT", QByteArray(1'500'000, 'r')}}));
        m_iso = TestFiles::read(m_home.path() + QStringLiteral("/source.iso"));
        EXPECT_TRUE(QDir().mkpath(QFileInfo(target()).path()));
    }

    QString target() const { return m_home.path() + QStringLiteral("/Guest.vm/LinuxInstall.iso"); }

    /// Downloads `response` onto a disk with `free` bytes beyond the reserve, less what the download wrote; the failure, if any.
    std::optional<QString> download(const Response &response, qint64 free)
    {
        m_server.setResponder([&](const FakeHttpServer::Request &) { return response; });
        return download(free);
    }

    /// Downloads from the server as it answers now.
    std::optional<QString> download(qint64 free = 64 * mebibyte)
    {
        const QString partial = LinuxISODownload::partialURL(target());
        LinuxISODownload download([&](const QString &) {
            return DownloadSpace::reserve + quint64(std::max<qint64>(0, free - QFileInfo(partial).size()));
        });
        download.setIdleTimeout(std::chrono::milliseconds(400));
        std::optional<QString> failure;
        bool done = false;
        const QCoro::Task<> task = runAndRecord(download, m_server.url(QStringLiteral("/debian.iso")), target(), failure, done);
        if (!QTest::qWaitFor([&] { return done; }, 60000)) {
            download.cancel();
            EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 10000));
            return QStringLiteral("(the download did not end)");
        }
        return failure;
    }

    TemporaryHome m_home;
    FakeHttpServer m_server;
    QByteArray m_iso;
};

TEST_F(LinuxISODownloadTest, RefusesWhatDoesNotFitOrDoesNotMatchItsAnnouncedLength)
{
    const qint64 served = 256 * mebibyte; // where a body that never ends is cut off, should the download not stop it
    Response endless(200, m_iso);
    endless.announcedLength = -1;
    endless.endless = true;
    endless.cutAfter = served;
    Response unreadableLength(200, m_iso);
    unreadableLength.announcedLength = -1;
    unreadableLength.withHeader("Content-Length", "12abc");
    Response longerThanAnnounced(200, m_iso);
    longerThanAnnounced.announcedLength = m_iso.size() / 2;
    Response endlessError(404, "missing");
    endlessError.announcedLength = -1;
    endlessError.endless = true;
    endlessError.cutAfter = served;
    const struct {
        const char *what;
        Response response;
        qint64 free;
        QString failure; // a prefix; empty: the download succeeds
    } cases[] = {
        {"a whole image", Response(200, m_iso), 4 * mebibyte, {}},
        {"an endless body", endless, 4 * mebibyte, QStringLiteral("Linux ISO download failed: the disk ran out of free space after ")},
        {"an announced length the disk cannot hold", Response(200, m_iso), m_iso.size() / 2,
         QStringLiteral("Linux ISO download failed: there is not enough free space on the disk for the ISO (%1 are needed, including a reserve of 64 MB "
                        "kept free).")
             .arg(DisplayFormatters::byteCountText(DownloadSpace::reserve + quint64(m_iso.size())))},
        {"a length that is no number", unreadableLength, 4 * mebibyte, QStringLiteral("Linux ISO download failed: the server announced an invalid length.")},
        {"a body longer than announced", longerThanAnnounced, 4 * mebibyte,
         QStringLiteral("Linux ISO download failed: the file is not a complete ISO 9660 image.")},
        {"an error answer that never ends", endlessError, 4 * mebibyte, QStringLiteral("Linux ISO download failed: HTTP 404")},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        QFile::remove(target());
        const qint64 sentBefore = m_server.bodyBytesSent();
        const std::optional<QString> failure = download(testCase.response, testCase.free);
        if (testCase.failure.isEmpty()) {
            EXPECT_EQ(failure, std::nullopt);
            EXPECT_EQ(TestFiles::read(target()), m_iso);
        } else {
            EXPECT_TRUE(failure && failure->startsWith(testCase.failure)) << failure.value_or(QStringLiteral("(none)")).toStdString();
            EXPECT_FALSE(QFileInfo::exists(target()));
        }
        EXPECT_FALSE(QFileInfo::exists(LinuxISODownload::partialURL(target())));
        // Broken off early: the server never got to send the body it would have sent to the end.
        EXPECT_LT(m_server.bodyBytesSent() - sentBefore, served / 2);
    }
}

TEST_F(LinuxISODownloadTest, ABrokenDownloadIsResumedOnlyWithTheRestOfTheSameVersion)
{
    // Another version of the image behind the same address, for the servers that change it between two tries.
    const QString newerPath = m_home.path() + QStringLiteral("/newer.iso");
    EXPECT_TRUE(IsoImage::write(newerPath, {{"README.TXT", QByteArray(1'700'000, 'n')}}));
    const QString sourcePath = m_home.path() + QStringLiteral("/source.iso");
    const qint64 cut = 700'000;
    const auto ignoringIfRange = [](Request request) {
        request.headers.remove("if-range");
        return request;
    };
    const auto brokenOff = [&](bool stall) {
        return [&, stall](const Request &request) {
            Response response = FakeHttpServer::fileResponse(request, sourcePath, "\"v1\"");
            response.cutAfter = cut;
            response.stall = stall;
            return response;
        };
    };
    const struct {
        const char *what;
        FakeHttpServer::Responder first;
        FakeHttpServer::Responder second;
        QList<QByteArray> secondRanges; // the ranges the second try asks for
        QString result;
    } cases[] = {
        {"the idle time-out, then the rest", brokenOff(true), [&](const Request &r) { return FakeHttpServer::fileResponse(r, sourcePath, "\"v1\""); },
         {"bytes=700000-"}, sourcePath},
        {"a lost connection, then the rest", brokenOff(false),
         [&](const Request &r) { return FakeHttpServer::fileResponse(r, sourcePath, "\"v1\""); }, {"bytes=700000-"}, sourcePath},
        {"a changed file sent whole", brokenOff(false), [&](const Request &r) { return FakeHttpServer::fileResponse(r, newerPath, "\"v2\""); },
         {"bytes=700000-"}, newerPath},
        {"a range of the changed file, If-Range ignored", brokenOff(false),
         [&](const Request &r) { return FakeHttpServer::fileResponse(ignoringIfRange(r), newerPath, "\"v2\""); }, {"bytes=700000-", ""}, newerPath},
        {"a range that starts elsewhere", brokenOff(false),
         [&](const Request &r) {
             Response response = FakeHttpServer::fileResponse(r, sourcePath, "\"v1\"");
             if (!r.header("range").isEmpty()) {
                 response = FakeHttpServer::fileResponse(Request{"GET", {}, {{"range", "bytes=1000-"}}}, sourcePath, "\"v1\"");
             }
             return response;
         },
         {"bytes=700000-", ""}, sourcePath},
        {"a cut without a validator, so nothing to resume",
         [&](const Request &r) {
             Response response = FakeHttpServer::fileResponse(r, sourcePath, {});
             response.cutAfter = cut;
             return response;
         },
         [&](const Request &r) { return FakeHttpServer::fileResponse(r, sourcePath, {}); }, {""}, sourcePath},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        QFile::remove(target());
        m_server.setResponder(testCase.first);
        const std::optional<QString> broken = download();
        ASSERT_TRUE(broken);
        const bool kept = QFileInfo::exists(LinuxISODownload::partialURL(target()));
        EXPECT_EQ(kept, testCase.secondRanges.first() != QByteArray());
        EXPECT_EQ(broken->endsWith(QStringLiteral(" Retry again to continue from the saved partial download.")), kept) << broken->toStdString();

        const qsizetype base = m_server.requests().size();
        m_server.setResponder(testCase.second);
        EXPECT_EQ(download(), std::nullopt);
        EXPECT_EQ(TestFiles::read(target()), TestFiles::read(testCase.result)) << "two versions were joined";
        QList<QByteArray> ranges;
        for (const Request &request : m_server.requests().mid(base))
            ranges << request.header("range");
        EXPECT_EQ(ranges, testCase.secondRanges);
        EXPECT_FALSE(QFileInfo::exists(LinuxISODownload::partialURL(target())));
        EXPECT_FALSE(QFileInfo::exists(LinuxISODownload::resumeDataURL(target())));
    }
}

} // namespace
