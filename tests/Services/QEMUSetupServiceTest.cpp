// SPDX-License-Identifier: MIT
#include "QEMUSetupService.h"

#include "FakeHttpServer.h"
#include "GzipBomb.h"
#include "LoggingService.h"
#include "TarGzArchive.h"
#include "TemporaryHome.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <memory>

namespace {

using TarGzArchive::file;

const QByteArray workingProgram = "#!/bin/sh\necho 'QEMU emulator version 10.2.2'\n";
const QString installAdvice = QStringLiteral("Install it with: sudo apt install qemu-system-arm qemu-efi-aarch64 swtpm");

QCoro::Task<> runAndFlag(QEMUSetupService &service, bool &done)
{
    co_await service.downloadQEMU();
    done = true;
}

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

/// A registry of its own on the loopback interface, a temporary home and a service pointed at both.
class QEMUSetupServiceTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(temporaryFolder())); }

    QString installFolder() const { return m_home.applicationData() + QStringLiteral("/QEMU"); }
    QString temporaryFolder() const { return m_home.path() + QStringLiteral("/tmp"); }
    QString appLog() const { return readAll(m_home.applicationData() + QStringLiteral("/Logs/app.log")); }

    QByteArray package(const QList<TarGzArchive::Entry> &entries) const
    {
        return TarGzArchive::bytes(m_home.path() + QStringLiteral("/package.tar.gz"), entries);
    }

    /// Answers the token request with `token` and the blob request with `blob`.
    void serve(FakeHttpServer::Response token, FakeHttpServer::Response blob)
    {
        m_registry = std::make_unique<FakeHttpServer>([token, blob](const FakeHttpServer::Request &request) {
            return request.url.path() == QStringLiteral("/token") ? token : blob;
        });
    }

    /// A service whose pinned digest is that of `blob`, or `digest` when given.
    QEMUSetupService &makeService(const QByteArray &blob, const QString &digest = {}, QStringList otherPrograms = {})
    {
        const QString pinned = digest.isEmpty() ? QString::fromLatin1(QCryptographicHash::hash(blob, QCryptographicHash::Sha256).toHex()) : digest;
        const QUrl registry = m_registry ? m_registry->url() : QUrl(QStringLiteral("http://127.0.0.1:1"));
        m_service = std::make_unique<QEMUSetupService>(m_logging,
                                                       QEMUSetupService::Source{registry, QStringLiteral("homebrew/core/qemu"), pinned},
                                                       QEMUSetupService::Places{installFolder(), temporaryFolder(), otherPrograms});
        QObject::connect(m_service.get(), &QEMUSetupService::statusMessageChanged, [this](const QString &message) { statuses << message; });
        QObject::connect(m_service.get(), &QEMUSetupService::downloadProgressChanged, [this](double progress) { progresses << progress; });
        QObject::connect(m_service.get(), &QEMUSetupService::isDownloadingChanged, [this](bool downloading) { downloadings << downloading; });
        return *m_service;
    }

    void download()
    {
        bool done = false;
        const QCoro::Task<> task = runAndFlag(*m_service, done);
        ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, 30000)) << "the download did not end";
    }

    QStringList downloadFolders() const
    {
        return QDir(temporaryFolder()).entryList({QStringLiteral("qemu-download-*")}, QDir::Dirs);
    }

    TemporaryHome m_home;
    LoggingService m_logging;
    std::unique_ptr<FakeHttpServer> m_registry;
    std::unique_ptr<QEMUSetupService> m_service;
    QStringList statuses;
    QList<double> progresses;
    QList<bool> downloadings;
};

TEST_F(QEMUSetupServiceTest, InstallsThePinnedPackageAndPublishesEachStep)
{
    const QByteArray blob = package({file("qemu/10.2.2/bin/qemu-system-aarch64", workingProgram, 0644),
                                     file("qemu/10.2.2/share/qemu/keymaps/en-us", "map")});
    serve({200, R"({"token":"secret-token"})"}, {200, blob});
    QEMUSetupService &service = makeService(blob);
    ASSERT_FALSE(service.isQEMUInstalled());

    download();

    EXPECT_EQ(statuses, (QStringList{QStringLiteral("Preparing to download QEMU 10.2.2..."),
                                     QStringLiteral("Authenticating with GitHub Container Registry..."),
                                     QStringLiteral("Downloading QEMU 10.2.2 (~105 MB)..."), QStringLiteral("Extracting QEMU..."),
                                     QStringLiteral("Verifying installation..."), QStringLiteral("QEMU 10.2.2 installed successfully.")}));
    EXPECT_EQ(progresses, (QList<double>{0, 0.05, 0.1, 0.6, 0.9, 1.0}));
    EXPECT_EQ(downloadings, (QList<bool>{true, false}));
    EXPECT_TRUE(service.isQEMUInstalled());

    ASSERT_EQ(m_registry->requests().size(), 2);
    const FakeHttpServer::Request &token = m_registry->requests()[0];
    EXPECT_EQ(token.url.path(), QStringLiteral("/token"));
    const QUrlQuery query(token.url);
    EXPECT_EQ(query.queryItemValue(QStringLiteral("service")), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(query.queryItemValue(QStringLiteral("scope"), QUrl::FullyDecoded), QStringLiteral("repository:homebrew/core/qemu:pull"));
    const FakeHttpServer::Request &blobRequest = m_registry->requests()[1];
    EXPECT_EQ(blobRequest.url.path(), QStringLiteral("/v2/homebrew/core/qemu/blobs/sha256:")
                                          + QString::fromLatin1(QCryptographicHash::hash(blob, QCryptographicHash::Sha256).toHex()));
    EXPECT_EQ(blobRequest.headers.value("authorization"), "Bearer secret-token");

    const QString program = installFolder() + QStringLiteral("/bin/qemu-system-aarch64");
    EXPECT_EQ(QFile::permissions(program) & 0x7777, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser | QFile::WriteUser
                                                        | QFile::ExeUser | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    EXPECT_TRUE(QFileInfo::exists(installFolder() + QStringLiteral("/share/qemu/keymaps/en-us")));
    EXPECT_TRUE(downloadFolders().isEmpty());
    EXPECT_TRUE(appLog().contains(QStringLiteral("[QEMU] Installed QEMU 10.2.2 to ") + installFolder()));
}

TEST_F(QEMUSetupServiceTest, AnyAnswerWithATokenIsAcceptedAndNoOtherIs)
{
    const struct {
        int status;
        QByteArray body;
        bool accepted;
    } cases[] = {
        {401, R"({"token":"from-401"})", true},
        {200, "{}", false},
        {200, "not json", false},
        {200, R"(["token"])", false},
        {200, R"({"token":5})", false},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.body.toStdString());
        serve({testCase.status, testCase.body}, {404, {}});
        makeService({});
        statuses.clear();
        progresses.clear();
        download();
        if (testCase.accepted) {
            ASSERT_EQ(m_registry->requests().size(), 2);
            EXPECT_EQ(m_registry->requests()[1].headers.value("authorization"), "Bearer from-401");
        } else {
            EXPECT_EQ(m_registry->requests().size(), 1);
            EXPECT_EQ(statuses.last(), QStringLiteral("Failed: The restore image download failed: Failed to authenticate with GHCR."));
            EXPECT_EQ(progresses.last(), 0.05);
        }
        EXPECT_FALSE(m_service->isDownloading());
    }
}

TEST_F(QEMUSetupServiceTest, ATokenAnswerPastItsCapIsRefusedAtOnce)
{
    FakeHttpServer::Response endless(200, R"({"token":")");
    endless.announcedLength = -1;
    endless.endless = true;
    FakeHttpServer::Response hugeAndSlow(200, R"({"token":")");
    hugeAndSlow.announcedLength = qint64(1) << 30;
    hugeAndSlow.stall = true;
    for (const FakeHttpServer::Response &token : {endless, hugeAndSlow}) {
        SCOPED_TRACE(token.endless ? "endless" : "a length above the cap, sent slowly");
        serve(token, {404, {}});
        makeService({});
        // Neither answer ends by itself within the time this waits: only a refusal ends the run.
        download();
        EXPECT_EQ(m_service->statusMessage(),
                  QStringLiteral("Failed: The restore image download failed: Failed to authenticate with GHCR: its answer is larger than 65536 bytes."));
        EXPECT_EQ(m_registry->requests().size(), 1);
        EXPECT_EQ(m_service->downloadProgress(), 0.05);
    }
}

TEST_F(QEMUSetupServiceTest, ATokenAnswerThatCannotBeInflatedFailsAtOnce)
{
    serve(FakeHttpServer::Response(200, gzipBomb(256 * 1024 * 1024)).withHeader("Content-Encoding", "gzip"), {404, {}});
    makeService({});
    // Waits for half the token's own time-out: only the failure itself can end the run in time.
    download();
    EXPECT_EQ(m_service->statusMessage(),
              QStringLiteral("Failed: The server's compressed answer could not be unpacked: it is damaged, or it would inflate far beyond its size."));
    EXPECT_EQ(m_registry->requests().size(), 1);
}

TEST_F(QEMUSetupServiceTest, AFailedBlobLeavesNothingInstalled)
{
    const QByteArray blob = package({file("qemu/10.2.2/bin/qemu-system-aarch64", workingProgram, 0755)});
    const struct {
        const char *what;
        FakeHttpServer::Response answer;
        QString digest;
        QString status;
    } cases[] = {
        {"not found", {404, "missing"}, {}, QStringLiteral("Failed: The restore image download failed: QEMU download failed with HTTP 404")},
        {"another blob than the pinned one", {200, blob}, QString(64, QLatin1Char('0')),
         QStringLiteral("Failed: The restore image download failed: The downloaded QEMU package does not match its SHA-256 digest.")},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        serve({200, R"({"token":"t"})"}, testCase.answer);
        QEMUSetupService &service = makeService(blob, testCase.digest);
        download();
        EXPECT_EQ(service.statusMessage(), testCase.status);
        EXPECT_EQ(service.downloadProgress(), 0.1);
        EXPECT_FALSE(service.isQEMUInstalled());
        EXPECT_FALSE(service.isDownloading());
        EXPECT_FALSE(QFileInfo::exists(installFolder()));
        EXPECT_TRUE(appLog().contains(testCase.status.mid(8)));
        // The run's download folder stays, empty: a refused blob is not kept.
        const QStringList folders = downloadFolders();
        ASSERT_EQ(folders.size(), 1);
        EXPECT_TRUE(QDir(temporaryFolder() + QLatin1Char('/') + folders.first()).isEmpty());
        QDir(temporaryFolder() + QLatin1Char('/') + folders.first()).removeRecursively();
    }
}

TEST_F(QEMUSetupServiceTest, APackageThatCannotBeInstalledIsRemovedAgain)
{
    const QString sentinel = m_home.path() + QStringLiteral("/escaped");
    const struct {
        const char *what;
        QList<TarGzArchive::Entry> entries;
        double progress;
        QString status;
    } cases[] = {
        {"an entry escaping the folder",
         {file("qemu/10.2.2/bin/qemu-system-aarch64", workingProgram, 0755), file("qemu/10.2.2/../../../../escaped", "x")},
         0.6,
         QStringLiteral("Failed: The virtual machine encountered an error: Failed to extract QEMU (The archive entry \"qemu/10.2.2/../../../../escaped\" "
                        "would be written outside the target folder.)")},
        {"no program", {file("qemu/10.2.2/share/readme", "x")}, 0.9,
         QStringLiteral("Failed: The virtual machine encountered an error: QEMU binary not found after extraction.")},
        {"a program built for another system",
         {file("qemu/10.2.2/bin/qemu-system-aarch64", QByteArray("\xcf\xfa\xed\xfe\x0c\x00\x00\x01", 8) + QByteArray(4096, '\0'), 0755)},
         0.9,
         QStringLiteral("Failed: The virtual machine encountered an error: The downloaded QEMU cannot run on this system. ") + installAdvice},
        {"a program that fails", {file("qemu/10.2.2/bin/qemu-system-aarch64", "#!/bin/sh\nexit 1\n", 0755)}, 0.9,
         QStringLiteral("Failed: The virtual machine encountered an error: The downloaded QEMU cannot run on this system. ") + installAdvice},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        const QByteArray blob = package(testCase.entries);
        serve({200, R"({"token":"t"})"}, {200, blob});
        QEMUSetupService &service = makeService(blob);
        download();
        EXPECT_EQ(service.statusMessage(), testCase.status);
        EXPECT_EQ(service.downloadProgress(), testCase.progress);
        EXPECT_FALSE(service.isQEMUInstalled());
        EXPECT_FALSE(QFileInfo::exists(installFolder()));
        EXPECT_FALSE(QFileInfo::exists(sentinel));
        EXPECT_TRUE(appLog().contains(testCase.status.mid(8)));
        service.refreshInstallState();
        EXPECT_FALSE(service.isQEMUInstalled());
    }
}

TEST_F(QEMUSetupServiceTest, AProgramAtAnotherDepthIsMovedToBin)
{
    const QByteArray blob = package({file("qemu/10.2.2/libexec/qemu/qemu-system-aarch64", workingProgram, 0755)});
    serve({200, R"({"token":"t"})"}, {200, blob});
    QEMUSetupService &service = makeService(blob);
    download();
    EXPECT_EQ(service.statusMessage(), QStringLiteral("QEMU 10.2.2 installed successfully."));
    EXPECT_TRUE(QFileInfo(installFolder() + QStringLiteral("/bin/qemu-system-aarch64")).isExecutable());
    EXPECT_FALSE(QFileInfo::exists(installFolder() + QStringLiteral("/libexec/qemu/qemu-system-aarch64")));
}

TEST_F(QEMUSetupServiceTest, ASecondCallDuringARunStartsNothing)
{
    const QByteArray blob = package({file("qemu/10.2.2/bin/qemu-system-aarch64", workingProgram, 0755)});
    serve({200, R"({"token":"t"})"}, {200, blob});
    QEMUSetupService &service = makeService(blob);
    bool firstDone = false;
    bool secondDone = false;
    const QCoro::Task<> first = runAndFlag(service, firstDone);
    const QCoro::Task<> second = runAndFlag(service, secondDone);
    EXPECT_TRUE(secondDone);
    EXPECT_FALSE(firstDone);
    ASSERT_TRUE(QTest::qWaitFor([&] { return firstDone; }, 30000));
    EXPECT_EQ(m_registry->requests().size(), 2);
    EXPECT_EQ(statuses.count(QStringLiteral("Preparing to download QEMU 10.2.2...")), 1);
    EXPECT_TRUE(service.isQEMUInstalled());
}

TEST_F(QEMUSetupServiceTest, AnUnreachableRegistryFailsWithItsReason)
{
    makeService({});
    download();
    EXPECT_TRUE(m_service->statusMessage().startsWith(QStringLiteral("Failed: "))) << m_service->statusMessage().toStdString();
    EXPECT_GT(m_service->statusMessage().size(), 8);
    EXPECT_EQ(m_service->downloadProgress(), 0.05);
    EXPECT_FALSE(m_service->isDownloading());
}

TEST_F(QEMUSetupServiceTest, DestroyingTheServiceDuringARunEndsTheRunQuietly)
{
    // A registry that accepts the connection and never answers.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    m_service = std::make_unique<QEMUSetupService>(
        m_logging, QEMUSetupService::Source{QUrl(QStringLiteral("http://127.0.0.1:%1").arg(silent.serverPort())), QStringLiteral("r"), QStringLiteral("0")},
        QEMUSetupService::Places{installFolder(), temporaryFolder(), {}});
    bool done = false;
    const QCoro::Task<> task = runAndFlag(*m_service, done);
    ASSERT_TRUE(QTest::qWaitFor([&] { return silent.hasPendingConnections(); }, 5000));

    m_service.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 5000));
    EXPECT_FALSE(appLog().contains(QStringLiteral("[QEMU]")));
}

TEST_F(QEMUSetupServiceTest, QEMUCountsAsInstalledAtAnyOfItsPlaces)
{
    const QString elsewhere = m_home.path() + QStringLiteral("/usr-local-bin/qemu-system-aarch64");
    const QString missing = m_home.path() + QStringLiteral("/opt-homebrew-bin/qemu-system-aarch64");
    ASSERT_TRUE(QDir().mkpath(QFileInfo(elsewhere).path()));
    QFile(elsewhere).open(QIODevice::WriteOnly);

    EXPECT_FALSE(makeService({}, {}, {missing}).isQEMUInstalled());
    EXPECT_TRUE(makeService({}, {}, {missing, elsewhere}).isQEMUInstalled());

    ASSERT_TRUE(QDir().mkpath(installFolder() + QStringLiteral("/bin")));
    QFile(installFolder() + QStringLiteral("/bin/qemu-system-aarch64")).open(QIODevice::WriteOnly);
    QEMUSetupService &service = makeService({}, {}, {});
    EXPECT_TRUE(service.isQEMUInstalled());
    EXPECT_EQ(service.qemuInstallDirectory(), installFolder());
}

TEST_F(QEMUSetupServiceTest, ThePinnedPackageIsRefusedBeforeAnyByteIsFetched)
{
    const QByteArray blob = package({file("qemu/10.2.2/bin/qemu-system-aarch64", workingProgram, 0755)});
    serve({200, R"({"token":"t"})"}, {200, blob});
    // The package pinned by default, served from here: it is built for macOS on Apple silicon.
    QEMUSetupService::Source source = QEMUSetupService::defaultSource();
    source.registryURL = m_registry->url();
    source.blobDigest = QString::fromLatin1(QCryptographicHash::hash(blob, QCryptographicHash::Sha256).toHex());
    m_service = std::make_unique<QEMUSetupService>(m_logging, source, QEMUSetupService::Places{installFolder(), temporaryFolder(), {}});
    QObject::connect(m_service.get(), &QEMUSetupService::isDownloadingChanged, [this](bool downloading) { downloadings << downloading; });

    download();
    EXPECT_TRUE(m_registry->requests().isEmpty());
    EXPECT_TRUE(downloadings.isEmpty()) << "no download starts";
    const QString reason = QStringLiteral("The virtual machine encountered an error: The QEMU package offered for download is built for darwin/arm64 "
                                          "and cannot run on this system. ")
                           + installAdvice;
    EXPECT_EQ(m_service->statusMessage(), QStringLiteral("Failed: ") + reason);
    EXPECT_TRUE(appLog().contains(QStringLiteral("[QEMU] ") + reason));
    EXPECT_FALSE(m_service->isQEMUInstalled());
    EXPECT_TRUE(downloadFolders().isEmpty());

    // The views ask first; a source named without a system is one built for this host.
    EXPECT_FALSE(m_service->canInstallHere());
    EXPECT_TRUE(makeService({}).canInstallHere());
}

TEST(QEMUSetupServiceDefaults, TheFolderLiesInTheApplicationDataAndIsNotCreated)
{
    const TemporaryHome home;
    EXPECT_EQ(QEMUSetupService::defaultInstallDirectory(), home.applicationData() + QStringLiteral("/QEMU"));
    EXPECT_FALSE(QFileInfo::exists(home.applicationData()));
    const QEMUSetupService::Places places = QEMUSetupService::defaultPlaces();
    EXPECT_EQ(places.otherProgramPaths.mid(0, 3), (QStringList{QStringLiteral("/opt/homebrew/bin/qemu-system-aarch64"),
                                                                QStringLiteral("/usr/local/bin/qemu-system-aarch64"),
                                                                QStringLiteral("/usr/bin/qemu-system-aarch64")}));
    EXPECT_EQ(QEMUSetupService::defaultSource().registryURL, QUrl(QStringLiteral("https://ghcr.io")));
}

} // namespace
