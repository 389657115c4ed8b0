// SPDX-License-Identifier: MIT
#include "RestoreImageCatalogService.h"

#include "EventLoopWait.h"
#include "FakeHttpServer.h"
#include "GzipBomb.h"
#include "JSONCoding.h"
#include "LoggingService.h"
#include "TaskOutcome.h"
#include "TemporaryHome.h"
#include "TestFiles.h"
#include "VirtualMachineError.h"
#include "VirtualMachineErrorExpectation.h"
#include "VirtualizationError.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <memory>

namespace {

using Entry = RestoreImageCatalog::Entry;
using HostVersion = RestoreImageCatalogService::HostVersion;

QCoro::Task<MacOSRestoreImage> platformRefuses()
{
    throw VirtualizationError(VirtualizationError::Code::notSupported, QStringLiteral("Not on this host."));
    co_return MacOSRestoreImage{};
}

QCoro::Task<MacOSRestoreImage> platformAnswers()
{
    co_return MacOSRestoreImage{QStringLiteral("https://apple.example/15.ipsw"), QStringLiteral("24A335"), {15, 0, 0}, std::nullopt};
}

QCoro::Task<MacOSRestoreImage> platformLoads(QString path)
{
    co_return MacOSRestoreImage{path, QStringLiteral("23G93"), {14, 6, 1}, std::nullopt};
}

QCoro::Task<MacOSRestoreImage> platformCannotLoad(QString)
{
    throw VirtualizationError(VirtualizationError::Code::notSupported, QStringLiteral("Not on this host."));
    co_return MacOSRestoreImage{};
}

Entry entry(const char *version, const char *build, Entry::Channel channel = Entry::Channel::regular)
{
    return {QStringLiteral("macOS ") + QString::fromUtf8(version), QString::fromUtf8(version), QString::fromUtf8(build), channel,
            QUrl(QStringLiteral("https://cdn.example/") + QString::fromUtf8(build) + QStringLiteral(".ipsw"))};
}

QStringList words(const char *text)
{
    return QString::fromUtf8(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QStringList versions(const QList<Entry> &entries)
{
    QStringList list;
    for (const Entry &e : entries)
        list << e.version;
    return list;
}

QByteArray feedImage(const char *name, const char *version, const char *build, const char *channel, const char *requirements, const QString &url)
{
    return QByteArray("{\"name\":\"") + name + "\",\"version\":\"" + version + "\",\"build\":\"" + build + "\",\"channel\":\"" + channel
           + "\",\"requirements\":\"" + requirements + "\",\"url\":\"" + url.toUtf8() + "\"}";
}

QByteArray feed(const QList<QByteArray> &images, const QByteArray &sets = R"([{"id":"r14","minVersionHost":"14.0"},{"id":"r1401","minVersionHost":"14.0.1"}])")
{
    return "{\"requirementSets\":" + sets + ",\"restoreImages\":[" + images.join(',') + "],\"extra\":1}";
}

class RestoreImageCatalogServiceTest : public ::testing::Test
{
protected:
    QString cacheFolder() const { return m_home.path() + QStringLiteral("/cache"); }
    QString cacheFile() const { return cacheFolder() + QStringLiteral("/macOSRestoreCatalog.json"); }
    QString resources() const { return m_home.path() + QStringLiteral("/resources"); }
    QString appLog() const { return QString::fromUtf8(TestFiles::read(m_home.applicationData() + QStringLiteral("/Logs/app.log"))); }

    /// `fetchTimeout`: short by default, for the tests of the time-out; a test that waits for something else gives it a long one.
    RestoreImageCatalogService &service(std::optional<HostVersion> host = std::nullopt, bool platformWorks = false,
                                        std::chrono::milliseconds fetchTimeout = std::chrono::milliseconds(700))
    {
        RestoreImageCatalogService::Options options;
        options.cacheFolder = cacheFolder();
        options.hostVersion = host;
        options.fetchTimeout = fetchTimeout;
        options.platformImages.fetchLatestSupported = platformWorks ? &platformAnswers : &platformRefuses;
        options.platformImages.load = platformWorks ? &platformLoads : &platformCannotLoad;
        m_service = std::make_unique<RestoreImageCatalogService>(m_logging, m_server.url(QStringLiteral("/catalog.json")),
                                                                 ApplicationResources(resources()), options);
        return *m_service;
    }

    void serveFeed(const QByteArray &body, int status = 200)
    {
        m_server.setResponder([body, status](const FakeHttpServer::Request &) { return FakeHttpServer::Response(status, body); });
    }

    void writeCatalog(const QString &path, const QList<Entry> &entries)
    {
        RestoreImageCatalog catalog;
        catalog.schemaVersion = 1;
        catalog.images = entries;
        TestFiles::write(path, sharedJSONEncoder().encode(catalog));
    }

    RestoreImageCatalog cached() const { return sharedJSONDecoder().decode<RestoreImageCatalog>(TestFiles::read(cacheFile())); }

    template <typename T>
    static QString failureText(const TaskOutcome<T> &outcome)
    {
        return thrownVirtualMachineError(outcome).errorDescription();
    }

    TemporaryHome m_home;
    LoggingService m_logging;
    FakeHttpServer m_server;
    std::unique_ptr<RestoreImageCatalogService> m_service;
};

TEST_F(RestoreImageCatalogServiceTest, StableImagesTakeTheNewestOfEachMajorUpToTheHost)
{
    RestoreImageCatalog catalog;
    catalog.images = {entry("15.1", "A1"), entry("14.6.1", "B1"), entry("15.0", "A0"), entry("13.7", "C1"), entry("16.0", "D0", Entry::Channel::seed)};
    EXPECT_EQ(versions(service(HostVersion{14, 0, 0}).stableImages(catalog, 3)), words("14.6.1 13.7"));
    EXPECT_EQ(versions(service(HostVersion{15, 2, 0}).stableImages(catalog, 3)), words("15.1 14.6.1 13.7"));
    EXPECT_EQ(versions(service(HostVersion{15, 2, 0}).stableImages(catalog, 1)), words("15.1"));
    // No host version here: nothing is capped.
    EXPECT_EQ(versions(service().stableImages(catalog, 3)), words("15.1 14.6.1 13.7"));
}

TEST_F(RestoreImageCatalogServiceTest, TheAutomaticEntryIsTheNewestTheHostCanRun)
{
    RestoreImageCatalog catalog;
    catalog.images = {entry("14.6", "first"), entry("15.1", "A1"), entry("14.6", "second")};
    EXPECT_EQ(service(HostVersion{14, 0, 0}).selectAutomaticInstallEntry(catalog).build, QStringLiteral("first"));
    EXPECT_EQ(service(HostVersion{13, 0, 0}).selectAutomaticInstallEntry(catalog).build, QStringLiteral("A1"));
    EXPECT_EQ(service().selectAutomaticInstallEntry(catalog).build, QStringLiteral("A1"));

    catalog.images = {entry("15.1", "A1", Entry::Channel::developerBeta)};
    EXPECT_THROW(service().selectAutomaticInstallEntry(catalog), VirtualMachineError);
}

TEST_F(RestoreImageCatalogServiceTest, TheFeedKeepsOnlyRegularWellFormedImagesTheHostMeets)
{
    const QString https = QStringLiteral("https://cdn.example/x.ipsw");
    const QByteArray body = feed({
        feedImage("Meets 14.0", "14.6", "B1", "regular", "r14", https),
        feedImage("Needs 14.0.1", "14.7", "B2", "regular", "r1401", https),
        feedImage("Unknown set", "14.5", "B3", "regular", "nope", https),
        feedImage("Beta", "15.0", "B4", "devbeta", "r14", https),
        feedImage("Traversal build", "14.4", "../../x", "regular", "r14", https),
        feedImage("Odd version", "14.4/..", "B5", "regular", "r14", https),
        feedImage("Local file", "14.3", "B6", "regular", "r14", QStringLiteral("file:///etc/passwd")),
        feedImage("Clear text", "14.2", "B7", "regular", "r14", QStringLiteral("http://cdn.example/x.ipsw")),
        feedImage("Loopback", "14.1", "B8", "regular", "r14", QStringLiteral("http://127.0.0.1:9/x.ipsw")),
    });
    RestoreImageCatalog converted = service(HostVersion{14, 0, 0}).convertFeed(body);
    EXPECT_EQ(converted.schemaVersion, 1);
    EXPECT_EQ(versions(converted.images), words("14.6 14.5 14.1"));
    EXPECT_EQ(converted.images.first().displayName, QStringLiteral("Meets 14.0"));
    EXPECT_EQ(versions(service().convertFeed(body).images), words("14.6 14.7 14.5 14.1"));

    EXPECT_THROW(service().convertFeed(feed({}, R"([{"id":"a","minVersionHost":"13"},{"id":"a","minVersionHost":"14"}])")), VirtualMachineError);
    EXPECT_THROW(service().convertFeed(R"({"requirementSets":[]})"), JSONDecodingError);
    EXPECT_THROW(service().convertFeed(feed({R"({"name":"n","version":"14","build":"B","channel":"regular","requirements":"r"})"})), JSONDecodingError);
}

TEST_F(RestoreImageCatalogServiceTest, AGoodFeedIsCachedAndUsed)
{
    serveFeed(feed({feedImage("macOS 14.6.1", "14.6.1", "23G93", "regular", "r14", QStringLiteral("https://cdn.example/a.ipsw"))}));
    const RestoreImageInfo latest = waitForOutcome(service().fetchLatestRestoreImage()).get();
    EXPECT_EQ(latest, (RestoreImageInfo{QStringLiteral("macOS 14.6.1"), QStringLiteral("14.6.1"), QStringLiteral("23G93"),
                                        QUrl(QStringLiteral("https://cdn.example/a.ipsw")), std::nullopt, RestoreImageInfo::DownloadState::availableRemotely}));
    EXPECT_EQ(versions(cached().images), words("14.6.1"));
    const QString log = appLog();
    EXPECT_TRUE(log.contains(QStringLiteral("Apple restore image catalog fetch failed: Not on this host.. Falling back to curated IPSW catalog.")));
    EXPECT_TRUE(log.contains(QStringLiteral("Using curated restore image catalog fallback: macOS 14.6.1 (23G93)")));
}

TEST_F(RestoreImageCatalogServiceTest, AFailedOrUselessFeedFallsBackToTheCacheThenTheShippedCatalog)
{
    const QByteArray emptyFeed = feed({feedImage("Beta", "15.0", "B4", "devbeta", "r14", QStringLiteral("https://cdn.example/b.ipsw"))});
    const QByteArray huge = feed({}) + QByteArray(9 * 1024 * 1024, ' ');
    const struct {
        const char *what;
        std::function<void()> serve;
    } cases[] = {
        {"304", [&] { serveFeed({}, 304); }},
        {"500", [&] { serveFeed("oops", 500); }},
        {"204 without a body", [&] { serveFeed({}, 204); }},
        {"not JSON", [&] { serveFeed("<html>"); }},
        {"no usable image", [&] { serveFeed(emptyFeed); }},
        {"repeated requirement set", [&] { serveFeed(feed({}, R"([{"id":"a","minVersionHost":"13"},{"id":"a","minVersionHost":"14"}])")); }},
        {"larger than the cap", [&] { serveFeed(huge); }},
        {"stalled", [&] {
             m_server.setResponder([](const FakeHttpServer::Request &) {
                 FakeHttpServer::Response response(200, "{\"requirementSets\":[");
                 response.announcedLength = 100;
                 response.stall = true;
                 return response;
             });
         }},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        writeCatalog(cacheFile(), {entry("14.5", "CACHED")});
        testCase.serve();
        const RestoreImageCatalog catalog = waitForOutcome(service().loadCuratedCatalog()).get();
        EXPECT_EQ(versions(catalog.images), words("14.5"));
        EXPECT_EQ(versions(cached().images), words("14.5")) << "the cache was replaced";
    }
    EXPECT_TRUE(appLog().contains(QStringLiteral("Using cached restore image catalog fallback.")));

    // An unreadable cache gives way to the shipped catalog, and the next good feed overwrites it.
    TestFiles::write(cacheFile(), "{ not json");
    writeCatalog(resources() + QStringLiteral("/macOSRestoreCatalog.json"), {entry("13.7", "SHIPPED")});
    serveFeed({}, 500);
    EXPECT_EQ(versions(waitForOutcome(service().loadCuratedCatalog()).get().images), words("13.7"));
    EXPECT_TRUE(appLog().contains(QStringLiteral("Using bundled restore image catalog fallback.")));
    serveFeed(feed({feedImage("n", "15.2", "F1", "regular", "r14", QStringLiteral("https://cdn.example/f.ipsw"))}));
    EXPECT_EQ(versions(waitForOutcome(service().loadCuratedCatalog()).get().images), words("15.2"));
    EXPECT_EQ(versions(cached().images), words("15.2"));
}

TEST_F(RestoreImageCatalogServiceTest, AFeedPastItsCapIsRefusedTheMomentItPassesIt)
{
    const qint64 cap = RestoreImageCatalogService::maximumFeedSize;
    const struct {
        const char *what;
        std::optional<qint64> announced; // negative: none
        bool endless;
        std::optional<qint64> stallAfter;
    } cases[] = {
        {"endless, with no length", -1, true, std::nullopt},
        // These two stall with the connection open: without a refusal they would end only in the time-out.
        {"a length above the cap, sent slowly", cap + 1, false, 10},
        {"one byte past the cap, then nothing", -1, true, cap + 1},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        m_server.setResponder([&](const FakeHttpServer::Request &) {
            FakeHttpServer::Response response(200, "{\"requirementSets\":[");
            response.announcedLength = testCase.announced;
            response.endless = testCase.endless;
            if (testCase.stallAfter) {
                response.cutAfter = testCase.stallAfter;
                response.stall = true;
            }
            return response;
        });
        // Serving 8 MiB takes a busy machine longer than the usual test time-out; the refusal must come from the cap, whatever the time.
        EXPECT_EQ(failureText(waitForOutcome(service(std::nullopt, false, std::chrono::minutes(1)).fetchRemoteFallbackCatalog())),
                  QStringLiteral("The latest supported macOS restore image could not be fetched: The remote fallback catalog is larger than 8388608 bytes."));
    }
}

/// Runs the fetch and records how it ended, so that a test can wait for that event rather than for the fetch's own time-out.
QCoro::Task<> fetchFeed(RestoreImageCatalogService &catalog, std::optional<std::exception_ptr> &ended)
{
    try {
        co_await catalog.fetchRemoteFallbackCatalog();
        ended = std::exception_ptr();
    } catch (...) {
        ended = std::current_exception();
    }
}

TEST_F(RestoreImageCatalogServiceTest, AFeedThatCannotBeInflatedFailsAtOnce)
{
    // Inflated, it would be many times the cap; Qt refuses such a ratio, and the read buffer is bounded.
    const QByteArray bomb = gzipBomb(256 * 1024 * 1024);
    m_server.setResponder([&](const FakeHttpServer::Request &) { return FakeHttpServer::Response(200, bomb).withHeader("Content-Encoding", "gzip"); });
    // A time-out that cannot pass while the test waits: only the failure itself can end the fetch.
    RestoreImageCatalogService &catalog = service(std::nullopt, false, std::chrono::hours(1));
    std::optional<std::exception_ptr> ended;
    const QCoro::Task<> fetching = fetchFeed(catalog, ended);
    ASSERT_TRUE(EventLoopWait::waitUntil([&] { return ended.has_value(); }, std::chrono::minutes(1))) << "the fetch still waits";
    ASSERT_TRUE(*ended) << "a bomb was taken for a feed";
    try {
        std::rethrow_exception(*ended);
    } catch (const std::exception &error) {
        EXPECT_STREQ(error.what(), "The server's compressed answer could not be unpacked: it is damaged, or it would inflate far beyond its size.");
    }
}

TEST_F(RestoreImageCatalogServiceTest, WithoutAnySourceTheUserIsToldToChooseALocalImage)
{
    serveFeed({}, 500);
    const QString everythingFailed = QStringLiteral(
        "The latest supported macOS restore image could not be fetched: Apple's restore image catalog is unavailable, and no fallback catalog could "
        "be loaded. Choose a local restore image instead.");
    EXPECT_EQ(failureText(waitForOutcome(service().fetchLatestRestoreImage())), everythingFailed);
    EXPECT_EQ(failureText(waitForOutcome(service().loadAutomaticInstallCatalog(3))),
              QStringLiteral("The latest supported macOS restore image could not be fetched: The bundled fallback restore image catalog is missing."));

    // A catalog without a regular image.
    writeCatalog(cacheFile(), {entry("15.0", "BETA", Entry::Channel::publicBeta)});
    EXPECT_EQ(failureText(waitForOutcome(service().fetchLatestRestoreImage())), everythingFailed);
    EXPECT_EQ(failureText(waitForOutcome(service().loadAutomaticInstallCatalog(3))),
              QStringLiteral("The latest supported macOS restore image could not be fetched: No stable restore images were available in the "
                             "automatic-install catalog."));
}

TEST_F(RestoreImageCatalogServiceTest, ThePlatformsImageComesFirstAndFillsAnEmptyWizardList)
{
    serveFeed({}, 500);
    writeCatalog(cacheFile(), {entry("15.0", "BETA", Entry::Channel::publicBeta)});
    RestoreImageCatalogService &catalog = service(std::nullopt, true);
    const QList<RestoreImageInfo> offered = waitForOutcome(catalog.loadAutomaticInstallCatalog(3)).get();
    ASSERT_EQ(offered.size(), 1);
    EXPECT_EQ(offered.first(), (RestoreImageInfo{QStringLiteral("macOS 15.0"), QStringLiteral("15.0"), QStringLiteral("24A335"),
                                                 QUrl(QStringLiteral("https://apple.example/15.ipsw")), std::nullopt,
                                                 RestoreImageInfo::DownloadState::availableRemotely}));

    const QUrl file = QUrl::fromLocalFile(QStringLiteral("/images/picked.ipsw"));
    const RestoreImageInfo local = waitForOutcome(catalog.loadRestoreImage(file)).get();
    EXPECT_EQ(local.displayName, QStringLiteral("macOS 14.6.1"));
    EXPECT_EQ(local.localFileURL, file);
    EXPECT_EQ(local.downloadState, RestoreImageInfo::DownloadState::selectedLocalFile);
    EXPECT_EQ(failureText(waitForOutcome(service().loadRestoreImage(file))), QStringLiteral("The selected restore image is invalid: Not on this host."));
}

TEST(RestoreImageCatalogShipped, TheShippedCatalogDecodesWithRegularImagesOverHttps)
{
    const std::optional<QString> path = ApplicationResources(QStringLiteral(ZOVOZU_RESOURCES_DIR)).resourcePath(QStringLiteral("macOSRestoreCatalog.json"));
    ASSERT_TRUE(path);
    const RestoreImageCatalog catalog = sharedJSONDecoder().decode<RestoreImageCatalog>(TestFiles::read(*path));
    ASSERT_FALSE(catalog.images.isEmpty());
    for (const Entry &image : catalog.images) {
        EXPECT_EQ(image.sourceURL.scheme(), QStringLiteral("https"));
        EXPECT_EQ(image.channel, Entry::Channel::regular);
    }
}

} // namespace
