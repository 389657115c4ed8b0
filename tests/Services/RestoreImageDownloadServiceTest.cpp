// SPDX-License-Identifier: MIT
#include "RestoreImageDownloadService.h"

#include "DownloadSpace.h"
#include "FakeHttpServer.h"
#include "FakeHttpServerThread.h"
#include "LoggingService.h"
#include "TaskOutcome.h"
#include "TemporaryHome.h"
#include "TestFiles.h"
#include "VirtualMachineError.h"
#include "VirtualMachineErrorExpectation.h"
#include "ZipEndRecord.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

using Request = FakeHttpServer::Request;
using Response = FakeHttpServer::Response;

QByteArray sha256(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256);
}

/// Bytes that end as a restore image's archive does.
QByteArray imageBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype index = 0; index < size; ++index)
        bytes[index] = char((index * 7919) % 251);
    return ZipEndRecord::appendedTo(bytes);
}

class RestoreImageDownloadServiceTest : public ::testing::Test
{
protected:
    RestoreImageDownloadServiceTest()
    {
        m_image = imageBytes(3 * 1024 * 1024 + 17);
        TestFiles::write(servedPath(), m_image);
    }

    QString cacheFolder() const { return m_home.path() + QStringLiteral("/cache-folder"); }
    QString servedPath() const { return m_home.path() + QStringLiteral("/served.ipsw"); }
    QString appLog() const { return QString::fromUtf8(TestFiles::read(m_home.applicationData() + QStringLiteral("/Logs/app.log"))); }

    RestoreImageDownloadService &service(std::function<quint64(const QString &)> space = {})
    {
        RestoreImageDownloadService::Options options;
        options.cacheFolder = cacheFolder();
        options.retryDelayUnit = std::chrono::milliseconds(20);
        options.idleTimeout = std::chrono::milliseconds(500);
        options.progressInterval = std::chrono::milliseconds(20);
        options.availableSpace = space ? space : [](const QString &) { return quint64(1) << 40; };
        m_service = std::make_unique<RestoreImageDownloadService>(m_logging, options);
        return *m_service;
    }

    /// Answers with the served file; `shape` may change the answer to the n-th request (0-based).
    void serve(std::function<void(int, const Request &, Response &)> shape = {}, QByteArray etag = "\"v1\"")
    {
        m_server.setResponder([this, shape, etag](const Request &request) {
            Response response = FakeHttpServer::fileResponse(request, servedPath(), etag);
            if (shape)
                shape(int(m_server.requests().size()) - 1, request, response);
            return response;
        });
    }

    RestoreImageInfo info(const QString &path = QStringLiteral("/image.ipsw")) const
    {
        return {QStringLiteral("macOS 14.6.1"), QStringLiteral("14.6.1"), QStringLiteral("23G93"), m_server.url(path), std::nullopt,
                RestoreImageInfo::DownloadState::availableRemotely};
    }

    /// Cancels the running download as soon as `reached` holds, looked at as the event loop turns.
    void cancelOnceTrue(std::function<bool()> reached)
    {
        auto *look = new QTimer(m_service.get());
        look->setInterval(5);
        QObject::connect(look, &QTimer::timeout, m_service.get(), [this, look, reached = std::move(reached)] {
            if (!reached())
                return;
            look->stop();
            m_service->cancel();
        });
        look->start();
    }

    TaskOutcome<QUrl> download(const RestoreImageInfo &image)
    {
        return waitForOutcome(m_service->download(image, [this](const RestoreImageDownloadProgress &progress) { m_reports.append(progress); }));
    }

    QString destination() const { return cacheFolder() + QLatin1Char('/') + RestoreImageDownloadService::cacheFileName(info()); }
    QStringList cacheEntries() const { return QDir(cacheFolder()).entryList(QDir::Files); }

    static QString failureText(const TaskOutcome<QUrl> &outcome)
    {
        return thrownVirtualMachineError(outcome).errorDescription();
    }

    TemporaryHome m_home;
    LoggingService m_logging;
    FakeHttpServer m_server;
    QByteArray m_image;
    std::unique_ptr<RestoreImageDownloadService> m_service;
    QList<RestoreImageDownloadProgress> m_reports;
};

TEST_F(RestoreImageDownloadServiceTest, CacheFileNameIsFixedByVersionBuildAndSource)
{
    const QString name = RestoreImageDownloadService::cacheFileName(info());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^macOS-14_6_1-23G93-[0-9a-f]{12}\\.ipsw$")).match(name).hasMatch()) << name.toStdString();
    EXPECT_EQ(name, RestoreImageDownloadService::cacheFileName(info()));
    EXPECT_NE(name, RestoreImageDownloadService::cacheFileName(info(QStringLiteral("/other.ipsw"))));

    for (const auto &[version, build] : {std::pair{"../../x", "23G93"}, std::pair{"14.6", "../x"}, std::pair{"14.6", "a/b"}, std::pair{"", "23G93"}}) {
        RestoreImageInfo hostile = info();
        hostile.version = QString::fromUtf8(version);
        hostile.build = QString::fromUtf8(build);
        EXPECT_THROW(RestoreImageDownloadService::cacheFileName(hostile), VirtualMachineError) << version << " " << build;
    }
}

TEST_F(RestoreImageDownloadServiceTest, AFreshDownloadIsCachedWholeWithItsRecordAndProgress)
{
    serve();
    service();
    const TaskOutcome<QUrl> outcome = download(info());
    ASSERT_EQ(outcome.get(), QUrl::fromLocalFile(destination()));
    EXPECT_EQ(sha256(TestFiles::read(destination())), sha256(m_image));
    EXPECT_TRUE(QFileInfo::exists(destination() + QStringLiteral(".json")));
    EXPECT_FALSE(QFileInfo::exists(destination() + QStringLiteral(".part")));
    EXPECT_FALSE(QFileInfo::exists(destination() + QStringLiteral(".resumeData")));

    ASSERT_GE(m_reports.size(), 2);
    EXPECT_EQ(m_reports.first(), (RestoreImageDownloadProgress{0, 0, std::nullopt, std::nullopt, std::nullopt, false}));
    const RestoreImageDownloadProgress last = m_reports.last();
    EXPECT_EQ(last, (RestoreImageDownloadProgress{1.0, m_image.size(), m_image.size(), std::nullopt, 0.0, false}));
    for (const RestoreImageDownloadProgress &report : m_reports) {
        EXPECT_GE(report.fractionCompleted, 0.0);
        EXPECT_LE(report.fractionCompleted, 1.0);
    }
    EXPECT_TRUE(appLog().contains(QStringLiteral("Cached restore image at ") + destination()));

    // A second request is answered from the cache, without a transfer.
    m_reports.clear();
    const qsizetype requests = m_server.requests().size();
    EXPECT_EQ(download(info()).get(), QUrl::fromLocalFile(destination()));
    EXPECT_EQ(m_server.requests().size(), requests);
    ASSERT_EQ(m_reports.size(), 1);
    EXPECT_EQ(m_reports.first(), last);
}

TEST_F(RestoreImageDownloadServiceTest, OnlyAWholeSuccessfulAnswerIsCached)
{
    const struct {
        const char *what;
        std::function<void(int, const Request &, Response &)> shape;
        QString failure;
        int requests;
    } cases[] = {
        {"404", [](int, const Request &, Response &r) { r = Response(404, "not here"); },
         QStringLiteral("The restore image download failed: HTTP 404"), 1},
        {"500 on every try", [](int, const Request &, Response &r) { r = Response(500, "oops"); },
         QStringLiteral("The restore image download failed: The server answered HTTP 500. Zovozu VM Lab exhausted its automatic retry budget."),
         3},
        {"a 206 nobody asked for", [](int, const Request &, Response &r) { r.status = 206; },
         QStringLiteral("The restore image download failed: HTTP 206"), 1},
        {"a body cut short without a validator",
         [](int, const Request &, Response &r) {
             r.headers.clear();
             r.cutAfter = 1000;
         },
         // The network layer itself may send the request once more when the connection drops early.
         QStringLiteral("The restore image download failed: "), -1},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        QDir(cacheFolder()).removeRecursively();
        serve(testCase.shape);
        service();
        const qsizetype before = m_server.requests().size();
        const TaskOutcome<QUrl> outcome = download(info());
        EXPECT_TRUE(failureText(outcome).startsWith(testCase.failure)) << failureText(outcome).toStdString();
        if (testCase.requests > 0) {
            EXPECT_EQ(m_server.requests().size() - before, testCase.requests);
        }
        EXPECT_FALSE(QFileInfo::exists(destination()));
        EXPECT_FALSE(m_service->cachedRestoreImageURL(info()));
    }
}

TEST_F(RestoreImageDownloadServiceTest, TwoCutsAreResumedWithoutResendingABodyByte)
{
    const qint64 firstCut = 1000000;
    const qint64 secondCut = 700000;
    // Cut by the range asked for: the network layer may resend a request on its own when a connection drops early.
    serve([&](int, const Request &request, Response &response) {
        const QByteArray range = request.header("range");
        if (range.isEmpty())
            response.cutAfter = firstCut;
        else if (range == "bytes=" + QByteArray::number(firstCut) + '-')
            response.cutAfter = secondCut;
    });
    service();
    ASSERT_EQ(download(info()).get(), QUrl::fromLocalFile(destination()));
    EXPECT_EQ(sha256(TestFiles::read(destination())), sha256(m_image));

    QList<QByteArray> ranges;
    for (const Request &request : m_server.requests()) {
        if (ranges.isEmpty() || ranges.last() != request.header("range"))
            ranges << request.header("range");
    }
    EXPECT_EQ(ranges, (QList<QByteArray>{QByteArray(), "bytes=" + QByteArray::number(firstCut) + '-',
                                         "bytes=" + QByteArray::number(firstCut + secondCut) + '-'}));
    EXPECT_EQ(m_server.requests().last().header("if-range"), "\"v1\"");
    if (m_server.requests().size() == 3) {
        EXPECT_EQ(m_server.bodyBytesSent(), m_image.size());
    }

    const QString log = appLog();
    EXPECT_TRUE(log.contains(QStringLiteral("Restore image download interrupted. Attempt 2 will resume after 1 second(s).")));
    EXPECT_TRUE(log.contains(QStringLiteral("Restore image download interrupted. Attempt 3 will resume after 2 second(s).")));
    EXPECT_TRUE(log.contains(QStringLiteral("Resuming restore image download from saved partial data.")));
    EXPECT_TRUE(std::any_of(m_reports.begin(), m_reports.end(), [](const RestoreImageDownloadProgress &p) { return p.isResumingDownload; }));
}

TEST_F(RestoreImageDownloadServiceTest, ABreakLargerThanTheReadBufferResumesAtTheLastByteThatArrived)
{
    // The server writes on its own thread, so most of the body is still in transit when it hangs up.
    m_image = imageBytes(12 * 1024 * 1024);
    TestFiles::write(servedPath(), m_image);
    const qint64 firstCut = 5 * 1024 * 1024 + 3;
    const qint64 secondCut = 4 * 1024 * 1024;
    FakeHttpServerThread server([path = servedPath(), firstCut, secondCut](const Request &request) {
        Response response = FakeHttpServer::fileResponse(request, path, "\"v1\"");
        const QByteArray range = request.header("range");
        if (range.isEmpty())
            response.cutAfter = firstCut;
        else if (range != "bytes=" + QByteArray::number(firstCut + secondCut) + '-')
            response.cutAfter = secondCut;
        return response;
    });
    RestoreImageInfo image = info();
    image.sourceURL = server.url(QStringLiteral("/image.ipsw"));
    service();
    const TaskOutcome<QUrl> outcome = download(image);
    const FakeHttpServerThread::Record record = server.stop();
    ASSERT_NO_THROW(outcome.get());
    EXPECT_EQ(sha256(TestFiles::read(outcome.get().toLocalFile())), sha256(m_image));

    // The first break is clean (everything sent arrived before the hang-up), so the resume asks for exactly the rest.
    // On a loaded machine the network layer may send a request again that broke before its answer began, and an
    // attempt may break before its first byte; either asks again from the same place, never from below what the
    // file holds.
    QList<qint64> resumedAt;
    for (const Request &request : record.requests) {
        const QByteArray range = request.header("range");
        if (!range.isEmpty())
            resumedAt << range.mid(6).chopped(1).toLongLong();
    }
    ASSERT_GE(resumedAt.size(), 2);
    EXPECT_EQ(record.requests.first().header("range"), QByteArray());
    EXPECT_EQ(resumedAt.first(), firstCut);
    EXPECT_EQ(resumedAt.last(), firstCut + secondCut);
    EXPECT_TRUE(std::is_sorted(resumedAt.cbegin(), resumedAt.cend())) << "resumed below what had arrived";
}

TEST_F(RestoreImageDownloadServiceTest, ThreeCutsExhaustTheBudgetAndTheNextDownloadGoesOn)
{
    bool cutting = true;
    serve([&cutting](int, const Request &, Response &response) {
        if (cutting)
            response.cutAfter = 500000;
    });
    service();
    const TaskOutcome<QUrl> first = download(info());
    EXPECT_EQ(failureText(first), QStringLiteral("The restore image download failed: The network connection was interrupted. Zovozu VM Lab exhausted "
                                                 "its automatic retry budget. Retry again to continue from the saved partial download."));
    EXPECT_EQ(QFileInfo(destination() + QStringLiteral(".part")).size(), 1500000);
    EXPECT_TRUE(QFileInfo::exists(destination() + QStringLiteral(".resumeData")));
    EXPECT_FALSE(QFileInfo::exists(destination()));

    cutting = false;
    ASSERT_EQ(download(info()).get(), QUrl::fromLocalFile(destination()));
    EXPECT_EQ(sha256(TestFiles::read(destination())), sha256(m_image));
    EXPECT_EQ(m_server.requests().last().header("range"), "bytes=1500000-");
}

TEST_F(RestoreImageDownloadServiceTest, AChangedOrRefusedRangeStartsOverFromZero)
{
    const QByteArray newer = imageBytes(2 * 1024 * 1024);
    const struct {
        const char *what;
        std::function<void(int, const Request &, Response &)> second;
    } cases[] = {
        // The file changed: If-Range no longer matches and the server sends all of it.
        {"200 to a range request",
         [&](int, const Request &, Response &response) {
             TestFiles::write(servedPath(), newer);
             response = FakeHttpServer::fileResponse(Request{"GET", {}, {}}, servedPath(), "\"v2\"");
         }},
        {"416", [&](int, const Request &, Response &response) { response = Response(416); }},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        QDir(cacheFolder()).removeRecursively();
        TestFiles::write(servedPath(), m_image);
        const qsizetype base = m_server.requests().size();
        serve([&, base](int index, const Request &request, Response &response) {
            if (index - base == 0)
                response.cutAfter = 800000;
            else if (index - base == 1)
                testCase.second(index, request, response);
        });
        service();
        ASSERT_EQ(download(info()).get(), QUrl::fromLocalFile(destination()));
        EXPECT_EQ(sha256(TestFiles::read(destination())), sha256(TestFiles::read(servedPath())));
    }
    EXPECT_TRUE(appLog().contains(QStringLiteral("Downloading restore image from ")));
}

TEST_F(RestoreImageDownloadServiceTest, ARangeOfAnotherVersionIsNeverJoinedToThePartialData)
{
    // The file changes on the server between two cuts, and the server ignores If-Range: it answers the resumed request
    // with a range of the new file. Only the validator and the whole length tell the two versions apart.
    QByteArray newer = imageBytes(2 * 1024 * 1024 + 5);
    for (qsizetype index = 0; index < 1024 * 1024; ++index)
        newer[index] = char(~newer[index]); // a start unlike the old version's, so a join shows
    const QString newerPath = m_home.path() + QStringLiteral("/newer.ipsw");
    TestFiles::write(newerPath, newer);
    const auto ignoringIfRange = [](Request request) {
        request.headers.remove("if-range");
        return request;
    };
    const struct {
        const char *what;
        QByteArray firstValidator; // an ETag, or a Last-Modified date when it does not start with a quote
        std::function<Response(const Request &)> changed;
    } cases[] = {
        {"a range with the new file's ETag", "\"v1\"",
         [&](const Request &request) { return FakeHttpServer::fileResponse(ignoringIfRange(request), newerPath, "\"v2\""); }},
        {"a range without any validator", "\"v1\"",
         [&](const Request &request) { return FakeHttpServer::fileResponse(ignoringIfRange(request), newerPath, {}); }},
        {"a range with the same ETag but another whole length", "\"v1\"",
         [&](const Request &request) { return FakeHttpServer::fileResponse(ignoringIfRange(request), newerPath, "\"v1\""); }},
        {"a range with a newer Last-Modified", "Mon, 07 Dec 2026 10:00:00 GMT",
         [&](const Request &request) {
             return FakeHttpServer::fileResponse(ignoringIfRange(request), newerPath, {}).withHeader("Last-Modified", "Fri, 11 Dec 2026 10:00:00 GMT");
         }},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        QDir(cacheFolder()).removeRecursively();
        const qsizetype base = m_server.requests().size();
        m_server.setResponder([&, base](const Request &request) {
            if (m_server.requests().size() - 1 == base) {
                const bool etag = testCase.firstValidator.startsWith('"');
                Response response = FakeHttpServer::fileResponse(request, servedPath(), etag ? testCase.firstValidator : QByteArray());
                if (!etag)
                    response.withHeader("Last-Modified", testCase.firstValidator);
                response.cutAfter = 800000;
                return response;
            }
            return testCase.changed(request);
        });
        service();
        ASSERT_EQ(download(info()).get(), QUrl::fromLocalFile(destination()));
        EXPECT_EQ(sha256(TestFiles::read(destination())), sha256(newer)) << "two versions were joined";

        // The resumed request named what the partial data was fetched under; the answer that did not match it was dropped.
        const QList<Request> requests = m_server.requests().mid(base);
        ASSERT_GE(requests.size(), 3);
        EXPECT_EQ(requests.at(1).header("range"), "bytes=800000-");
        EXPECT_EQ(requests.at(1).header("if-range"), testCase.firstValidator);
        EXPECT_EQ(requests.last().header("range"), QByteArray());
    }
}

TEST_F(RestoreImageDownloadServiceTest, AnExhaustedBudgetOffersToContinueOnlyFromAPartialThatWasKept)
{
    const QString exhausted = QStringLiteral(" Zovozu VM Lab exhausted its automatic retry budget.");
    const QString offer = QStringLiteral(" Retry again to continue from the saved partial download.");
    const struct {
        const char *what;
        std::function<void(int, const Request &, Response &)> shape;
        QString failure;
    } cases[] = {
        {"500 on every try, nothing saved", [](int, const Request &, Response &r) { r = Response(500, "oops"); },
         QStringLiteral("The server answered HTTP 500.") + exhausted},
        {"a cut, then 500", [](int index, const Request &, Response &r) {
             if (index == 0)
                 r.cutAfter = 500000;
             else
                 r = Response(500, "oops");
         },
         QStringLiteral("The server answered HTTP 500.") + exhausted + offer},
        {"three cuts", [](int, const Request &, Response &r) { r.cutAfter = 500000; },
         QStringLiteral("The network connection was interrupted.") + exhausted + offer},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        QDir(cacheFolder()).removeRecursively();
        const qsizetype base = m_server.requests().size();
        serve([&, base](int index, const Request &request, Response &response) { testCase.shape(int(index - base), request, response); });
        service();
        EXPECT_EQ(failureText(download(info())), QStringLiteral("The restore image download failed: ") + testCase.failure);
    }
}

TEST_F(RestoreImageDownloadServiceTest, AStalledTransferShowsItsSpeedFallingAndPromisesNoTimeRemaining)
{
    serve([](int index, const Request &, Response &response) {
        if (index == 0) {
            response.cutAfter = 600000;
            response.stall = true;
        }
    });
    RestoreImageDownloadService::Options options;
    options.cacheFolder = cacheFolder();
    options.retryDelayUnit = std::chrono::milliseconds(20);
    options.idleTimeout = std::chrono::milliseconds(1500);
    options.stallTime = std::chrono::milliseconds(200);
    options.progressInterval = std::chrono::milliseconds(20);
    options.availableSpace = [](const QString &) { return quint64(1) << 40; };
    m_service = std::make_unique<RestoreImageDownloadService>(m_logging, options);
    ASSERT_EQ(download(info()).get(), QUrl::fromLocalFile(destination()));

    // The first attempt's reports: the bytes that came, then the stall until the idle time-out broke it off.
    QList<RestoreImageDownloadProgress> stalled;
    double fastest = 0;
    for (const RestoreImageDownloadProgress &report : std::as_const(m_reports)) {
        if (report.isResumingDownload || report.fractionCompleted >= 1.0)
            break;
        fastest = std::max(fastest, report.bytesPerSecond.value_or(0));
        if (report.downloadedBytes == 600000)
            stalled << report;
    }
    ASSERT_GE(stalled.size(), 2);
    ASSERT_GT(fastest, 0);
    const RestoreImageDownloadProgress last = stalled.last();
    EXPECT_EQ(last.estimatedTimeRemaining, std::nullopt) << "a stalled transfer promised " << *last.estimatedTimeRemaining << " s";
    ASSERT_TRUE(last.bytesPerSecond);
    EXPECT_LT(*last.bytesPerSecond, fastest / 2);
    EXPECT_EQ(sha256(TestFiles::read(destination())), sha256(m_image));
}

TEST_F(RestoreImageDownloadServiceTest, AStalledTransferIsBrokenOffAndResumed)
{
    serve([](int index, const Request &, Response &response) {
        if (index == 0) {
            response.cutAfter = 600000;
            response.stall = true;
        }
    });
    service();
    ASSERT_EQ(download(info()).get(), QUrl::fromLocalFile(destination()));
    EXPECT_EQ(sha256(TestFiles::read(destination())), sha256(m_image));
    EXPECT_EQ(m_server.requests().last().header("range"), "bytes=600000-");
}

TEST_F(RestoreImageDownloadServiceTest, CancelStopsATransferAndTheWaitBetweenAttemptsAndKeepsThePartialData)
{
    service();
    m_service->cancel(); // nothing runs: nothing happens
    EXPECT_FALSE(appLog().contains(QStringLiteral("Stored resumable")));

    // In a transfer.
    serve([](int, const Request &, Response &response) {
        response.cutAfter = 400000;
        response.stall = true;
    });
    cancelOnceTrue([this] { return QFileInfo(destination() + QStringLiteral(".part")).size() == 400000; });
    const TaskOutcome<QUrl> inTransfer = download(info());
    EXPECT_EQ(failureText(inTransfer), QStringLiteral("The operation was cancelled."));
    EXPECT_EQ(QFileInfo(destination() + QStringLiteral(".part")).size(), 400000);
    EXPECT_TRUE(appLog().contains(QStringLiteral("Stored resumable restore-image state after user cancellation.")));

    // In the wait before the next attempt, which would otherwise last 20 s.
    RestoreImageDownloadService::Options options;
    options.cacheFolder = cacheFolder();
    options.retryDelayUnit = std::chrono::seconds(20);
    options.availableSpace = [](const QString &) { return quint64(1) << 40; };
    m_service = std::make_unique<RestoreImageDownloadService>(m_logging, options);
    serve([](int, const Request &, Response &response) { response.cutAfter = 100000; });
    cancelOnceTrue([this] { return appLog().contains(QStringLiteral("Attempt 2 will resume")); });
    QElapsedTimer clock;
    clock.start();
    const TaskOutcome<QUrl> inWait = download(info());
    EXPECT_EQ(failureText(inWait), QStringLiteral("The operation was cancelled."));
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_FALSE(QFileInfo::exists(destination()));
}

TEST_F(RestoreImageDownloadServiceTest, ASecondDownloadOfTheSameImageIsRefusedWhileOneRuns)
{
    serve([](int index, const Request &, Response &response) {
        if (index == 0)
            response.stall = true, response.cutAfter = 1000;
    });
    service();
    std::optional<TaskOutcome<QUrl>> second;
    QTimer::singleShot(100, m_service.get(), [this, &second] {
        second = waitForOutcome(m_service->download(info(), [](const RestoreImageDownloadProgress &) {}));
    });
    const TaskOutcome<QUrl> first = download(info());
    ASSERT_TRUE(second);
    EXPECT_EQ(failureText(*second), QStringLiteral("The restore image download failed: This restore image is already being downloaded."));
    EXPECT_EQ(first.get(), QUrl::fromLocalFile(destination()));
    EXPECT_EQ(sha256(TestFiles::read(destination())), sha256(m_image));
}

TEST_F(RestoreImageDownloadServiceTest, RefusesWhatDoesNotFitOrDoesNotMatchItsAnnouncedLength)
{
    const qint64 served = 256 * 1024 * 1024; // where a body that never ends is cut off, should the download not stop it
    const quint64 free = 4 * 1024 * 1024;
    const struct {
        const char *what;
        std::function<void(int, const Request &, Response &)> shape;
        QString failure;
        bool partialKept;
    } cases[] = {
        {"an endless body without a validator",
         [&](int, const Request &, Response &r) {
             r = Response(200, m_image);
             r.announcedLength = -1;
             r.endless = true;
             r.cutAfter = served;
         },
         QStringLiteral("The restore image download failed: There is not enough free space for the restore image: the disk ran out of free space after "),
         false},
        {"an endless body with a validator, to resume once there is room",
         [&](int, const Request &, Response &r) {
             r.announcedLength = -1;
             r.endless = true;
             r.cutAfter = served;
         },
         QStringLiteral("The restore image download failed: There is not enough free space for the restore image: the disk ran out of free space after "),
         true},
        {"a body longer than announced", [&](int, const Request &, Response &r) { r.announcedLength = m_image.size() - 1000; },
         QStringLiteral("The restore image download failed: The downloaded file is not a whole restore image: it ends before its archive does."), false},
        {"a length that is no number",
         [&](int, const Request &, Response &r) {
             r.announcedLength = -1;
             r.withHeader("Content-Length", "12abc");
         },
         QStringLiteral("The restore image download failed: The server announced an invalid length (Content-Length)."), false},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        QDir(cacheFolder()).removeRecursively();
        serve(testCase.shape);
        const QString partial = destination() + QStringLiteral(".part");
        service([&](const QString &) { return DownloadSpace::reserve + free - std::min<quint64>(free, quint64(QFileInfo(partial).size())); });
        const qint64 sentBefore = m_server.bodyBytesSent();
        const TaskOutcome<QUrl> outcome = download(info());
        EXPECT_TRUE(failureText(outcome).startsWith(testCase.failure)) << failureText(outcome).toStdString();
        EXPECT_FALSE(QFileInfo::exists(destination()));
        EXPECT_FALSE(m_service->cachedRestoreImageURL(info()));
        EXPECT_EQ(QFileInfo::exists(partial), testCase.partialKept);
        EXPECT_EQ(QFileInfo::exists(destination() + QStringLiteral(".resumeData")), testCase.partialKept);
        // Broken off early: the server never got to send the body it would have sent to the end.
        EXPECT_LT(m_server.bodyBytesSent() - sentBefore, served / 2);
    }
}

TEST_F(RestoreImageDownloadServiceTest, RefusesWhatCannotBeCachedSafely)
{
    serve();
    service([](const QString &) { return quint64(1000); });
    EXPECT_EQ(failureText(download(info())),
              QStringLiteral("The restore image download failed: There is not enough free space for the restore image "
                             "(67 MB are needed, including a reserve of 64 MB kept free)."));
    EXPECT_TRUE(cacheEntries().isEmpty()) << cacheEntries().join(QLatin1Char(' ')).toStdString();

    service();
    RestoreImageInfo local = info();
    local.sourceURL.reset();
    EXPECT_EQ(failureText(download(local)), QStringLiteral("The restore image download failed: No remote restore image URL was provided."));
    local.localFileURL = QUrl::fromLocalFile(QStringLiteral("/nowhere/picked.ipsw"));
    EXPECT_EQ(download(local).get(), *local.localFileURL);

    RestoreImageInfo fileScheme = info();
    fileScheme.sourceURL = QUrl::fromLocalFile(servedPath());
    EXPECT_EQ(failureText(download(fileScheme)), QStringLiteral("The restore image download failed: Restore images are downloaded over https only."));
}

} // namespace
