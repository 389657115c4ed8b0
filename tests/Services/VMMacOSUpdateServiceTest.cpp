// SPDX-License-Identifier: MIT
#include "VMMacOSUpdateService.h"

#include "FakeHttpServer.h"
#include "LoggingService.h"
#include "RestoreImageCatalogService.h"
#include "TaskOutcome.h"
#include "TemporaryHome.h"
#include "TestBundle.h"
#include "TestFiles.h"
#include "VirtualMachineError.h"
#include "VirtualizationError.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

int platformFetches = 0;

QCoro::Task<MacOSRestoreImage> newestIs1461()
{
    ++platformFetches;
    co_return MacOSRestoreImage{QStringLiteral("https://apple.example/a.ipsw"), QStringLiteral("23G93"), {14, 6, 1}, std::nullopt};
}

class VMMacOSUpdateServiceTest : public ::testing::Test
{
protected:
    VMMacOSUpdateServiceTest()
    {
        platformFetches = 0;
        m_server.setResponder([this](const FakeHttpServer::Request &request) { return m_answer(request); });
    }

    RestoreImageCatalogService &catalog(bool platformAnswers)
    {
        RestoreImageCatalogService::Options options;
        options.cacheFolder = m_home.path() + QStringLiteral("/cache");
        options.fetchTimeout = std::chrono::milliseconds(500);
        if (platformAnswers)
            options.platformImages.fetchLatestSupported = &newestIs1461;
        m_catalog = std::make_unique<RestoreImageCatalogService>(m_logging, m_server.url(QStringLiteral("/feed.json")),
                                                                 ApplicationResources(std::nullopt), options);
        return *m_catalog;
    }

    VMMacOSUpdateService &service(bool platformAnswers = true)
    {
        VMMacOSUpdateService::Options options;
        options.headTimeout = std::chrono::milliseconds(400);
        LinuxDistribution debian;
        debian.name = QStringLiteral("Debian");
        debian.version = QStringLiteral("12.8");
        debian.isoURL = m_server.url(QStringLiteral("/debian.iso"));
        LinuxDistribution noImage;
        noImage.name = QStringLiteral("Fedora");
        options.distributions = {debian, noImage};
        m_service = std::make_unique<VMMacOSUpdateService>(
            catalog(platformAnswers),
            [this](QUuid id, QString name, QString notes, bool isAuto) -> QCoro::Task<VMSnapshot> {
                m_snapshotCalls << std::tuple{id, name, notes, isAuto};
                if (m_snapshotFails)
                    throw VirtualMachineError(VirtualMachineError::Case::invalidOperation, QStringLiteral("No room for a snapshot."));
                co_return VMSnapshot{};
            },
            m_logging, options);
        return *m_service;
    }

    VMBundle bundle(VMGuestOSType guest, std::optional<QString> display, std::optional<QString> build = std::nullopt) const
    {
        const VMBundle bundle = TestBundle(m_home.path() + QStringLiteral("/Guest.vm")).guest(guest).guestVersion(display, build);
        QDir().mkpath(bundle.bundleURL);
        return bundle;
    }

    QString log() const { return QString::fromUtf8(TestFiles::read(m_home.path() + QStringLiteral("/Guest.vm/Logs/duvuzodovevav.log"))); }

    void check(const VMBundle &vm) { waitForOutcome(m_service->checkForUpdates(vm)).get(); }

    TemporaryHome m_home;
    LoggingService m_logging;
    FakeHttpServer m_server;
    std::function<FakeHttpServer::Response(const FakeHttpServer::Request &)> m_answer = [](const FakeHttpServer::Request &) {
        return FakeHttpServer::Response(404);
    };
    std::unique_ptr<RestoreImageCatalogService> m_catalog;
    std::unique_ptr<VMMacOSUpdateService> m_service;
    QList<std::tuple<QUuid, QString, QString, bool>> m_snapshotCalls;
    bool m_snapshotFails = false;
};

TEST_F(VMMacOSUpdateServiceTest, MacOSGuestsCompareLikeWithLike)
{
    const struct {
        const char *what;
        std::optional<QString> display;
        std::optional<QString> build;
        const char *status;
        const char *headline;
    } cases[] = {
        {"same build", QStringLiteral("macOS 14.6.1"), QStringLiteral("23G93"), "Up to date", "Up to Date"},
        {"older build", QStringLiteral("macOS 14.5"), QStringLiteral("23F79"), "Update available", "Update Available"},
        {"no build, same version in the name", QStringLiteral("macOS 14.6.1"), std::nullopt, "Up to date", "Update Available"},
        {"no build, older version in the name", QStringLiteral("macOS 14.5"), std::nullopt, "Update available", "Update Available"},
        {"nothing known", std::nullopt, std::nullopt, "Update available", "Update Available"},
    };
    VMMacOSUpdateService &updates = service();
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        const VMBundle vm = bundle(VMGuestOSType::macOS, testCase.display, testCase.build);
        check(vm);
        const VMMacOSUpdateInfo info = updates.updateInfo().value(vm.id());
        EXPECT_EQ(info.currentBuildVersion, testCase.build);
        EXPECT_EQ(info.currentDisplayName, testCase.display);
        EXPECT_EQ(info.availableVersion, QStringLiteral("14.6.1"));
        EXPECT_EQ(info.availableBuildVersion, QStringLiteral("23G93"));
        EXPECT_FALSE(updates.checkFailures().contains(vm.id()));
        EXPECT_EQ(info.headline(VMGuestOSType::macOS), QString::fromUtf8(testCase.headline));
        EXPECT_TRUE(log().endsWith(QStringLiteral("Checked for macOS updates for Guest: ") + QString::fromUtf8(testCase.status) + QLatin1Char('\n')))
            << log().toStdString();
    }
}

TEST_F(VMMacOSUpdateServiceTest, AChecksThatCouldNotBeMadeIsAFailureNeverUpToDate)
{
    VMMacOSUpdateService &updates = service(false);
    const VMBundle mac = bundle(VMGuestOSType::macOS, QStringLiteral("macOS 14.5"), QStringLiteral("23F79"));
    check(mac);
    EXPECT_FALSE(updates.updateInfo().value(mac.id()).availableVersion);
    EXPECT_EQ(updates.updateInfo().value(mac.id()).currentBuildVersion, QStringLiteral("23F79"));
    EXPECT_TRUE(updates.checkFailures().value(mac.id()).contains(QStringLiteral("no fallback catalog could be loaded")));
    EXPECT_TRUE(log().contains(QStringLiteral("[Update] The latest supported macOS restore image could not be fetched")));

    service();
    const qsizetype requests = m_server.requests().size();
    const VMBundle windows = bundle(VMGuestOSType::windows, QStringLiteral("Windows 11"));
    check(windows);
    EXPECT_EQ(platformFetches, 0);
    EXPECT_EQ(m_server.requests().size(), requests);
    EXPECT_FALSE(m_service->updateInfo().value(windows.id()).availableVersion);
    EXPECT_EQ(m_service->checkFailures().value(windows.id()), QStringLiteral("Update checks are not available for Windows guests."));
}

TEST_F(VMMacOSUpdateServiceTest, LinuxGuestsAskTheDistributionsServer)
{
    const struct {
        const char *what;
        qint64 remoteSize; // negative: no length
        int status;
        qint64 localSize;  // negative: no local ISO
        bool newer;
        bool failed;
        QByteArray rawLength = {}; // sent as the Content-Length in place of remoteSize when set
    } cases[] = {
        {"no length", -1, 200, 100, false, false},
        {"same size", 5000, 200, 5000, false, false},
        {"smaller remote", 4000, 200, 5000, true, false},
        {"no local image", 5000, 200, -1, true, false},
        {"not found", 5000, 404, 5000, false, true},
        // A length that cannot be read is a failed check, never an unchanged ISO.
        {"a length that is no number", -1, 200, 100, false, true, "12abc"},
        {"a negative length", -1, 200, 100, false, true, "-5000"},
        {"two lengths that differ", -1, 200, 5000, false, true, "5000, 4000"},
        {"the same length twice", -1, 200, 5000, false, false, "5000, 5000"},
    };
    VMMacOSUpdateService &updates = service();
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        const VMBundle vm = bundle(VMGuestOSType::linux, QStringLiteral("Debian 12 Desktop"));
        QFile::remove(vm.bundleURL + QStringLiteral("/LinuxInstall.iso"));
        if (testCase.localSize >= 0) {
            TestFiles::write(vm.bundleURL + QStringLiteral("/LinuxInstall.iso"), {});
            QFile::resize(vm.bundleURL + QStringLiteral("/LinuxInstall.iso"), testCase.localSize);
        }
        m_answer = [testCase](const FakeHttpServer::Request &request) {
            EXPECT_EQ(request.method, "HEAD");
            FakeHttpServer::Response response(testCase.status);
            response.announcedLength = testCase.remoteSize;
            if (!testCase.rawLength.isEmpty())
                response.withHeader("Content-Length", testCase.rawLength);
            return response;
        };
        check(vm);
        const VMMacOSUpdateInfo info = updates.updateInfo().value(vm.id());
        EXPECT_EQ(info.currentDisplayName, QStringLiteral("Debian 12 Desktop"));
        EXPECT_EQ(updates.checkFailures().contains(vm.id()), testCase.failed);
        if (testCase.newer) {
            EXPECT_EQ(info.availableVersion, QStringLiteral("Debian 12.8"));
            EXPECT_EQ(info.availableBuildVersion, QStringLiteral("remote-%1").arg(testCase.remoteSize));
            EXPECT_EQ(info.downloadSizeBytes, quint64(testCase.remoteSize));
            EXPECT_TRUE(log().endsWith(QStringLiteral("Checked Linux updates for Guest: Newer ISO available (Debian 12.8)\n")));
        } else {
            EXPECT_FALSE(info.availableVersion || info.availableBuildVersion || info.downloadSizeBytes);
        }
        if (!testCase.newer && !testCase.failed) {
            EXPECT_TRUE(log().endsWith(QStringLiteral("Checked Linux updates for Guest: ISO unchanged\n")));
        }
        if (!testCase.rawLength.isEmpty() && testCase.failed) {
            EXPECT_EQ(updates.checkFailures().value(vm.id()), QStringLiteral("The server announced an invalid length (Content-Length)."));
            EXPECT_TRUE(log().endsWith(QStringLiteral("The server announced an invalid length (Content-Length).\n"))) << log().toStdString();
        }
    }

    // A system no distribution matches, or one without an image address: no request.
    const qsizetype requests = m_server.requests().size();
    for (const char *name : {"Plan 9", "Fedora 41"}) {
        const VMBundle vm = bundle(VMGuestOSType::linux, QString::fromUtf8(name));
        check(vm);
        EXPECT_EQ(updates.updateInfo().value(vm.id()).currentDisplayName, QString::fromUtf8(name));
        EXPECT_TRUE(updates.checkFailures().contains(vm.id()));
    }
    EXPECT_EQ(m_server.requests().size(), requests);
}

TEST_F(VMMacOSUpdateServiceTest, OverlappingChecksKeepCheckingUntilTheLastEnds)
{
    VMMacOSUpdateService &updates = service();
    m_answer = [](const FakeHttpServer::Request &) {
        FakeHttpServer::Response stalled(200);
        stalled.announcedLength = 10;
        stalled.stall = true;
        return stalled;
    };
    const VMBundle slow = bundle(VMGuestOSType::linux, QStringLiteral("Debian"));
    const VMBundle quick = bundle(VMGuestOSType::macOS, QStringLiteral("macOS 14.6.1"), QStringLiteral("23G93"));
    QSignalSpy checking(&updates, &VMMacOSUpdateService::isCheckingChanged);
    bool slowDone = false;
    const auto slowCheck = [&]() -> QCoro::Task<> {
        co_await updates.checkForUpdates(slow);
        slowDone = true;
    };
    const QCoro::Task<> slowTask = slowCheck();
    check(quick);
    EXPECT_TRUE(updates.updateInfo().contains(quick.id()));
    EXPECT_TRUE(updates.isChecking());
    ASSERT_TRUE(QTest::qWaitFor([&] { return slowDone; }, 5000));
    EXPECT_FALSE(updates.isChecking());
    EXPECT_EQ(checking.last().first().toBool(), false);
}

TEST_F(VMMacOSUpdateServiceTest, ThePreUpdateSnapshotFollowsTheStrategy)
{
    VMMacOSUpdateService &updates = service();
    const VMBundle mac = bundle(VMGuestOSType::macOS, QStringLiteral("macOS 14.5"));
    const VMBundle linux = bundle(VMGuestOSType::linux, QStringLiteral("Debian 12"));
    const struct {
        VMMacOSUpdateStrategy strategy;
        const VMBundle &vm;
        const char *namePrefix;
        const char *textStart;
    } cases[] = {
        {VMMacOSUpdateStrategy::manual, mac, nullptr, "Open System Settings → General → Software Update"},
        {VMMacOSUpdateStrategy::manual, linux, nullptr, "Run your distribution's package manager"},
        {VMMacOSUpdateStrategy::snapshotThenUpdate, mac, "Pre-Update Snapshot (", "A safety snapshot has been created. Start the VM and apply"},
        {VMMacOSUpdateStrategy::snapshotUpdateVerifyRollback, linux, "Pre-Update Safety Snapshot (",
         "A safety snapshot has been created. Start the VM, update via your package manager"},
    };
    for (const auto &testCase : cases) {
        m_snapshotCalls.clear();
        const QString text = waitForOutcome(updates.createPreUpdateSnapshot(testCase.vm, testCase.strategy)).get();
        EXPECT_TRUE(text.startsWith(QString::fromUtf8(testCase.textStart))) << text.toStdString();
        if (!testCase.namePrefix) {
            EXPECT_TRUE(m_snapshotCalls.isEmpty());
            continue;
        }
        ASSERT_EQ(m_snapshotCalls.size(), 1);
        const auto &[id, name, notes, isAuto] = m_snapshotCalls.first();
        EXPECT_EQ(id, testCase.vm.id());
        EXPECT_TRUE(name.startsWith(QString::fromUtf8(testCase.namePrefix)) && name.endsWith(QLatin1Char(')'))) << name.toStdString();
        EXPECT_TRUE(notes.isEmpty());
        EXPECT_TRUE(isAuto);
    }

    m_snapshotFails = true;
    EXPECT_THROW(waitForOutcome(updates.createPreUpdateSnapshot(mac, VMMacOSUpdateStrategy::snapshotThenUpdate)).get(), VirtualMachineError);
}

} // namespace
