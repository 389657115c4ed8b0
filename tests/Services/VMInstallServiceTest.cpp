// SPDX-License-Identifier: MIT
#include "VMInstallService.h"

#include "AuxiliaryStorageService.h"
#include "DiskImageService.h"
#include "FakeHttpServer.h"
#include "HostNetworkService.h"
#include "MacOSInstallBackend.h"
#include "MachineIdentityService.h"
#include "PlatformMacOSInstallBackend.h"
#include "RestoreImageCatalogService.h"
#include "RestoreImageDownloadService.h"
#include "ScriptedVirtualMachineFactory.h"
#include "StoreTestFixture.h"
#include "SysfsNetworkInterfaces.h"
#include "TaskOutcome.h"
#include "TestFiles.h"
#include "VMConfigurationBuilder.h"
#include "VMFirstBootService.h"
#include "VMGuestAutomationService.h"
#include "VMSharedFolderService.h"
#include "VirtualMachineError.h"
#include "VirtualMachineErrorExpectation.h"
#include "VirtualizationError.h"
#include "ZipEndRecord.h"
#include "MacOSInstaller.h"

#include <QTest>
#include <QTimer>

namespace {

using Stage = VMInstallProgress::Stage;

const MacHardwareModel hardwareModel{QByteArrayLiteral("model descriptor")};

MacOSRestoreImage restoreImage(const QString &path, bool supported)
{
    MacOSRestoreImage image{path, QStringLiteral("23G93"), {14, 6, 1}, std::nullopt};
    if (supported)
        image.mostFeaturefulSupportedConfiguration = MacOSRestoreImage::ConfigurationRequirements{hardwareModel, 2, 4ULL << 30};
    return image;
}

QCoro::Task<MacOSRestoreImage> loadSupportedImage(QString path)
{
    co_return restoreImage(path, true);
}

/// Answers from a script: whether the host can install, what the image supports, the installer's reports and outcome.
class ScriptedInstallBackend final : public MacOSInstallBackend
{
public:
    std::optional<QString> refusal;
    bool supportsImage = true;
    QList<double> fractions{0.0, 0.5, 1.0};
    std::optional<QString> installerError;
    QStringList installedImages;

    std::optional<QString> hostRefusal() const override { return refusal; }

    QCoro::Task<MacOSRestoreImage> loadRestoreImage(QString path) override { co_return restoreImage(path, supportsImage); }

    QCoro::Task<> install(VirtualMachineConfiguration, QString restoreImagePath, QString, InstallerProgress progress) override
    {
        installedImages << restoreImagePath;
        for (const double fraction : fractions)
            progress(fraction);
        // Reports trail the installer: this one arrives after it finished.
        QTimer::singleShot(0, [progress] { progress(0.97); });
        if (installerError)
            throw VirtualizationError(VirtualizationError::Code::internalError, *installerError);
        co_return;
    }
};

class VMInstallServiceTest : public StoreTest
{
protected:
    VMInstallServiceTest()
    {
        TestFiles::write(templatePath(), QByteArray(4096, 'V'));
        RestoreImageCatalogService::Options catalogOptions;
        catalogOptions.cacheFolder = cacheFolder();
        catalogOptions.platformImages.load = &loadSupportedImage;
        m_catalog = std::make_unique<RestoreImageCatalogService>(m_logging, m_server.url(QStringLiteral("/catalog.json")),
                                                                 ApplicationResources(std::nullopt), catalogOptions);
        RestoreImageDownloadService::Options downloadOptions;
        downloadOptions.cacheFolder = cacheFolder();
        downloadOptions.progressInterval = std::chrono::milliseconds(5);
        m_downloads = std::make_unique<RestoreImageDownloadService>(m_logging, downloadOptions);
    }

    QString cacheFolder() const { return m_home.path() + QStringLiteral("/RestoreImageCache"); }
    QString templatePath() const { return m_home.path() + QStringLiteral("/AAVMF_VARS.fd"); }
    QString destination() const { return m_home.path() + QStringLiteral("/Machines"); }

    VMInstallService installService(MacOSInstallBackend &backend)
    {
        return VMInstallService({store(), m_builder, *m_catalog, *m_downloads, m_disks, m_auxiliary, m_identity, m_sharedFolders, m_firstBoot,
                                 m_automation, m_logging, m_access, backend});
    }

    VMInstallRequest request(VMInstallSource source) const
    {
        VMInstallRequest request;
        request.name = QStringLiteral("Sonoma");
        request.hardwareProfile = VMHardwareProfile{4, 8ULL << 30, 40ULL << 30, 1920, 1200, 144};
        request.installSource = std::move(source);
        request.destinationDirectoryURL = destination();
        request.bootstrapRequest = FirstBootBootstrapRequest{true, std::nullopt, {}, QStringLiteral("notes")};
        return request;
    }

    RestoreImageInfo catalogImage() const
    {
        return {QStringLiteral("macOS 14.6.1"), QStringLiteral("14.6.1"), QStringLiteral("23G93"), m_server.url(QStringLiteral("/image.ipsw")),
                std::nullopt, RestoreImageInfo::DownloadState::availableRemotely};
    }

    TaskOutcome<VMBundle> install(MacOSInstallBackend &backend, const VMInstallRequest &installRequest)
    {
        VMInstallService service = installService(backend);
        const TaskOutcome<VMBundle> outcome =
            waitForOutcome(service.install(installRequest, [this](const VMInstallProgress &progress) { m_reports << progress; }));
        QTest::qWait(20); // let trailing installer reports arrive
        return outcome;
    }

    QList<double> fractions() const
    {
        QList<double> list;
        for (const VMInstallProgress &report : m_reports)
            list << report.fractionCompleted;
        return list;
    }
    bool reported(Stage stage) const
    {
        return std::any_of(m_reports.begin(), m_reports.end(), [stage](const VMInstallProgress &report) { return report.stage == stage; });
    }
    QStringList bundleFolders() const { return QDir(destination()).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden); }

    FakeHttpServer m_server;
    std::unique_ptr<RestoreImageCatalogService> m_catalog;
    std::unique_ptr<RestoreImageDownloadService> m_downloads;
    const VMSharedFolderService m_sharedFolders{m_bookmarks, m_access};
    const HostNetworkService m_network{SysfsNetworkInterfaces(m_home.path() + QStringLiteral("/net"))};
    const VMConfigurationBuilder m_builder{m_sharedFolders, m_network, m_access, [](const VirtualMachineConfiguration &) {}};
    const DiskImageService m_disks{};
    const AuxiliaryStorageService m_auxiliary{QStringList{templatePath()}};
    const MachineIdentityService m_identity{};
    const VMFirstBootService m_firstBoot{m_logging, ApplicationResources(std::nullopt)};
    const VMGuestAutomationService m_automation{m_logging, m_access, m_viewer, ApplicationResources(std::nullopt)};
    QList<VMInstallProgress> m_reports;
};

TEST_F(VMInstallServiceTest, ALocalImageInstallsWithoutADownloadAndDropsLateInstallerReports)
{
    ScriptedInstallBackend backend;
    const QUrl image = QUrl::fromLocalFile(m_home.path() + QStringLiteral("/picked.ipsw"));
    const VMBundle bundle = install(backend, request(VMInstallSource::localRestoreImage(image))).get();

    EXPECT_EQ(fractions(), (QList<double>{0.03, 0.12, 0.35, 0.42, 0.42, 0.42 + 0.54 * 0.5, 0.96, 0.98, 1.0}));
    EXPECT_FALSE(reported(Stage::downloadingRestoreImage));
    EXPECT_EQ(m_reports.last().detail, QStringLiteral("macOS installation complete"));
    EXPECT_EQ(m_reports[2].detail, QStringLiteral("Preparing machine identity"));
    for (const VMInstallProgress &report : m_reports)
        EXPECT_FALSE(report.downloadedBytes || report.isResumingDownload);

    EXPECT_EQ(bundle.metadata.installState, VMInstallState::installed);
    EXPECT_EQ(bundle.metadata.guestOSType, VMGuestOSType::macOS);
    EXPECT_EQ(bundle.metadata.guestOSDisplayName, QStringLiteral("macOS 14.6.1"));
    EXPECT_EQ(bundle.metadata.guestBuildVersion, QStringLiteral("23G93"));
    EXPECT_TRUE(bundle.firstBootConfig);
    EXPECT_EQ(bundle.metadata.diskSizeBytes, bundle.metadata.hardwareProfile.diskSizeBytes);
    EXPECT_EQ(store().bundle(bundle.id()), bundle);
    EXPECT_EQ(backend.installedImages, QStringList{image.toLocalFile()});
    const VMBundle::Layout layout = bundle.layout();
    for (const QString &item : {layout.diskImageURL(), layout.auxiliaryStorageURL(), layout.hardwareModelURL(),
                                layout.machineIdentifierURL()})
        EXPECT_TRUE(QFileInfo(item).isFile()) << item.toStdString();
    const QString log = bundleLog(bundle.bundleURL);
    EXPECT_TRUE(log.contains(QStringLiteral("[Store] Created bundle skeleton for Sonoma")));
    EXPECT_TRUE(log.contains(QStringLiteral("[Install] Installed Sonoma")));
}

TEST_F(VMInstallServiceTest, ACatalogImageIsDownloadedOnceAndThenTakenFromTheCache)
{
    const QByteArray ipsw = ZipEndRecord::appendedTo(QByteArray(600000, 'I'));
    TestFiles::write(m_home.path() + QStringLiteral("/served.ipsw"), ipsw);
    m_server.setResponder([this](const FakeHttpServer::Request &request) {
        return FakeHttpServer::fileResponse(request, m_home.path() + QStringLiteral("/served.ipsw"), "\"e\"");
    });
    ScriptedInstallBackend backend;
    const VMBundle first = install(backend, request(VMInstallSource::catalogRestoreImage(catalogImage()))).get();
    ASSERT_TRUE(reported(Stage::downloadingRestoreImage));
    for (const VMInstallProgress &report : m_reports) {
        if (report.stage != Stage::downloadingRestoreImage)
            continue;
        EXPECT_GE(report.fractionCompleted, 0.18);
        EXPECT_LE(report.fractionCompleted, 0.32);
        EXPECT_EQ(report.detail, QStringLiteral("Downloading macOS 14.6.1"));
    }
    EXPECT_EQ(first.metadata.restoreImageInfo->downloadState, RestoreImageInfo::DownloadState::cachedLocally);
    const QString cached = first.metadata.restoreImageInfo->localFileURL->toLocalFile();
    EXPECT_EQ(TestFiles::read(cached), ipsw);
    EXPECT_EQ(backend.installedImages, QStringList{cached});

    m_reports.clear();
    const qsizetype requests = m_server.requests().size();
    const VMBundle second = install(backend, request(VMInstallSource::catalogRestoreImage(catalogImage()))).get();
    EXPECT_FALSE(reported(Stage::downloadingRestoreImage));
    EXPECT_EQ(m_server.requests().size(), requests);
    EXPECT_NE(second.bundleURL, first.bundleURL);
    EXPECT_EQ(second.metadata.installState, VMInstallState::installed);
}

TEST_F(VMInstallServiceTest, AHostThatCannotInstallMacOSIsToldBeforeAnythingIsMade)
{
    ScriptedVirtualMachineFactory factory;
    PlatformMacOSInstallBackend platform(factory);
    const TaskOutcome<VMBundle> outcome = install(platform, request(VMInstallSource::catalogRestoreImage(catalogImage())));
    const VirtualMachineError error = thrownVirtualMachineError(outcome);
    EXPECT_EQ(error.errorCase(), VirtualMachineError::Case::installFailed);
    EXPECT_EQ(error.detail(), MacOSInstaller::unavailableDescription());
    EXPECT_TRUE(m_reports.isEmpty());
    EXPECT_TRUE(bundleFolders().isEmpty());
    EXPECT_TRUE(m_server.requests().isEmpty());
    EXPECT_TRUE(store().bundles().isEmpty());
}

TEST_F(VMInstallServiceTest, AFailureAfterTheBundleWasSavedLeavesItFailedWithItsDiskAndLog)
{
    const struct {
        const char *what;
        bool supportsImage;
        std::optional<QString> installerError;
        QString text;
    } cases[] = {
        {"image the host cannot run", false, std::nullopt,
         QStringLiteral("The selected restore image is invalid: This computer does not support the selected restore image.")},
        {"installer error", true, QStringLiteral("The installer stopped."), QStringLiteral("The installer stopped.")},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        m_reports.clear();
        ScriptedInstallBackend backend;
        backend.supportsImage = testCase.supportsImage;
        backend.installerError = testCase.installerError;
        VMInstallRequest failing = request(VMInstallSource::localRestoreImage(QUrl::fromLocalFile(m_home.path() + QStringLiteral("/a.ipsw"))));
        failing.name = QString::fromUtf8(testCase.what);
        const TaskOutcome<VMBundle> outcome = install(backend, failing);
        EXPECT_THROW(outcome.get(), std::exception);
        const auto found = std::find_if(store().bundles().begin(), store().bundles().end(),
                                        [&](const VMBundle &bundle) { return bundle.metadata.name == failing.name; });
        ASSERT_NE(found, store().bundles().end());
        const VMBundle failed = *found;
        EXPECT_EQ(failed.metadata.installState, VMInstallState::failed);
        EXPECT_TRUE(QFileInfo(failed.layout().diskImageURL()).isFile());
        EXPECT_TRUE(QFileInfo(failed.bundleURL + QStringLiteral("/Automation")).isDir());
        EXPECT_TRUE(bundleLog(failed.bundleURL).contains(QStringLiteral("[Install] ") + testCase.text));
        EXPECT_FALSE(reported(Stage::finalizing));
        for (const VMInstallProgress &report : m_reports)
            EXPECT_LE(report.fractionCompleted, 0.96);
    }
}

} // namespace
