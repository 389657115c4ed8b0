// SPDX-License-Identifier: MIT
#include "LinuxISODownload.h"

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
        const QString partial = LinuxISODownload::partialURL(target());
        LinuxISODownload download([&](const QString &) {
            return DownloadSpace::reserve + quint64(std::max<qint64>(0, free - QFileInfo(partial).size()));
        });
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
         QStringLiteral("Linux ISO download failed: there is not enough free space on the disk for the ISO (%1 bytes are needed).").arg(m_iso.size())},
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

} // namespace
