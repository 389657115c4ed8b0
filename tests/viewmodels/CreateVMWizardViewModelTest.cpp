// SPDX-License-Identifier: MIT
#include "CreateVMWizardViewModel.h"

#include "../support/BusyThreadPool.h"
#include "../support/EventLoopWait.h"
#include "../support/FakeHttpServer.h"
#include "../support/IsoImage.h"
#include "JSONCoding.h"
#include "PlatformError.h"
#include "QEMUSetupService.h"
#include "VMDetailsTexts.h"
#include "VMDetailsViewModel.h"
#include "TestBundle.h"
#include "ViewModelTestFixture.h"
#include "VirtualMachineError.h"
#include "WindowsImageProvider.h"
#include "WindowsSourceViewModel.h"
#include "WindowsVMCreation.h"
#include "WriteSteps.h"

#include <QCoroTimer>
#include <QDir>
#include <QNetworkAccessManager>
#include <QSemaphore>
#include <QSignalSpy>

#include <cerrno>
#include <cmath>
#include <limits>

namespace {

using namespace CoordinatorTesting;
using Step = CreateVMWizardViewModel::Step;
using Stage = VMInstallProgress::Stage;
using WindowsSourceMode = CreateVMWizardViewModel::WindowsSourceMode;
using EventLoopWait::waitUntil;

QByteArray bytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QCoro::Task<VMBundle> refuseMacOS(VMInstallRequest, std::function<void(const VMInstallProgress &)>)
{
    throw VirtualMachineError(VirtualMachineError::Case::installFailed, QStringLiteral("macOS cannot be installed on this host."));
    co_return VMBundle();
}

/// Reports a download, then one report more that arrives only after the installation returned.
QCoro::Task<VMBundle> installWithLateReport(VMInstallRequest request, std::function<void(const VMInstallProgress &)> progress)
{
    progress(VMInstallProgress::step(Stage::installingMacOS, 0.6, QStringLiteral("Installing")));
    progress(VMInstallProgress::step(Stage::installingMacOS, 0.9, QStringLiteral("Late")));
    co_return TestBundle::in(request.destinationDirectoryURL, request.name).named(request.name);
}

/// Downloads for a moment and then fails as a stopped download does.
QCoro::Task<VMBundle> installThatDownloads(VMInstallRequest, std::function<void(const VMInstallProgress &)> progress)
{
    progress(VMInstallProgress::step(Stage::downloadingRestoreImage, 0.3, QStringLiteral("Downloading")));
    co_await QCoro::sleepFor(std::chrono::milliseconds(200));
    throw std::runtime_error("The download was stopped.");
}

class CreateVMWizardViewModelTest : public ViewModelTest
{
protected:
    std::shared_ptr<CreateVMWizardViewModel> wizard(HostCapacity host = {8, 16 * gibibyte}, RestoreImageCatalogService *catalog = nullptr)
    {
        return CreateVMWizardViewModel::create({store(), m_logging, m_network, m_linux, m_linuxTools, m_bookmarks, m_chooser,
                                                catalog ? *catalog : m_catalog, m_nam,
                                                m_installer, [this] { ++m_restoreCancels; }, [host] { return host; }, m_firmwarePlaces,
                                                m_macOSRefusal,
                                                [this] { return m_missingWindowsPackages; }, m_qemuSetup, m_images});
    }

    /// A Linux wizard with a small disk and the distribution served at `path` of the server.
    std::shared_ptr<CreateVMWizardViewModel> linuxWizard(const QString &path)
    {
        auto model = wizard();
        model->setGuestOSType(VMGuestOSType::linux);
        model->setMemorySizeGB(2);
        model->setDiskSizeGB(16);
        LinuxDistribution distribution;
        distribution.name = QStringLiteral("Testix");
        distribution.version = QStringLiteral("1.0");
        distribution.architecture = QStringLiteral("arm64");
        distribution.isoURL = m_server.url(path);
        model->setSelectedLinuxDistribution(distribution);
        return model;
    }

    QByteArray isoBytes()
    {
        const QString path = m_home.path() + QStringLiteral("/source.iso");
        if (!QFile::exists(path)) {
            EXPECT_TRUE(IsoImage::write(path, {{"README.TXT", QByteArray(1'500'000, 'r')}}));
        }
        return bytes(path);
    }

    /// A copy of the source image at `name` in the home folder, stretched (sparsely) to the size of a Windows image.
    QString largeImage(const QString &name)
    {
        isoBytes();
        const QString path = m_home.path() + QLatin1Char('/') + name;
        EXPECT_TRUE(QFile::copy(m_home.path() + QStringLiteral("/source.iso"), path));
        EXPECT_TRUE(QFile::resize(path, qint64(4) << 30));
        return path;
    }

    /// An installer image at `name` in the home folder that boots arm64 guests.
    QString bootableISO(const QString &name)
    {
        const QString path = m_home.path() + QLatin1Char('/') + name;
        EXPECT_TRUE(IsoImage::write(path, {{"EFI/BOOT/BOOTAA64.EFI", QByteArray(4096, 'e')}, {"README.TXT", QByteArray(300'000, 'r')}}));
        return path;
    }

    std::optional<VMBundle> bundleNamed(const QString &name)
    {
        for (const VMBundle &bundle : store().bundles())
            if (bundle.metadata.name == name)
                return bundle;
        return std::nullopt;
    }

    QString cacheFile(const QString &name) const { return m_linux.isoCacheDirectory() + QLatin1Char('/') + name; }

    static void waitForEnd(CreateVMWizardViewModel &model) { EXPECT_TRUE(waitUntil([&] { return !model.isCreating(); }, std::chrono::seconds(20))); }

    /// A wizard set to make "Doomed" for `guest` from the installer image `image`.
    std::shared_ptr<CreateVMWizardViewModel> doomedWizard(VMGuestOSType guest, int diskSizeGB, const QString &image)
    {
        auto model = wizard();
        model->setGuestOSType(guest);
        model->setName(QStringLiteral("Doomed"));
        model->setMemorySizeGB(2);
        model->setDiskSizeGB(diskSizeGB);
        if (guest == VMGuestOSType::linux) {
            model->setLinuxSourceMode(CreateVMWizardViewModel::LinuxSourceMode::localISO);
            model->setLocalLinuxISOURL(image);
        }
        return model;
    }

    FakeHttpServer m_server;
    QNetworkAccessManager m_nam;
    QStringList m_firmwarePlaces;
    QStringList m_missingWindowsPackages;
    CreateVMWizardViewModel::MacOSInstaller m_installer = &refuseMacOS;
    /// What the install backend of the host says; none: a host that can install macOS.
    std::optional<QString> m_macOSRefusal;
    int m_restoreCancels = 0;
    QEMUSetupService m_qemuSetup{m_logging, QEMUSetupService::Source{m_server.url(), QStringLiteral("homebrew/core/qemu"), QStringLiteral("00")},
                                 QEMUSetupService::Places{m_home.path() + QStringLiteral("/qemu"), m_home.path() + QStringLiteral("/tmp"), {}}};
    WindowsImageProvider m_images{m_logging, {m_home.path() + QStringLiteral("/Downloads")}};
};

TEST_F(CreateVMWizardViewModelTest, DefaultsFitTheHost)
{
    struct Case {
        qint64 cores;
        quint64 memoryGiB;
        qint64 cpus;
        double memoryGB;
        qint64 windowsCPUs;
        double windowsMemoryGB;
    };
    const Case cases[] = {
        {8, 16, 4, 8, 4, 8}, {10, 64, 4, 8, 5, 32}, {32, 48, 4, 8, 12, 24}, {2, 4, 2, 3, 2, 3}, {1, 2, 1, 1, 1, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.cores);
        auto model = wizard({c.cores, c.memoryGiB * gibibyte});
        EXPECT_EQ(model->name(), QStringLiteral("New Virtual Mac"));
        EXPECT_EQ(model->cpuCount(), c.cpus);
        EXPECT_EQ(model->memorySizeGB(), c.memoryGB);
        EXPECT_EQ(model->diskSizeGB(), 64);
        EXPECT_EQ(model->selectedDisplayPreset(), VMHardwareProfile::DisplayPreset::wuxga1920x1200);
        EXPECT_EQ(model->installProgress().detail, QStringLiteral("Ready to create"));
        EXPECT_EQ(model->destinationDirectoryURL(), store().rootURL());
        EXPECT_TRUE(model->isSpeakerEnabled());
        EXPECT_FALSE(model->isMicrophoneEnabled());
        EXPECT_TRUE(model->windowsEnableTPM());
        model->setGuestOSType(VMGuestOSType::windows);
        EXPECT_EQ(model->cpuCount(), c.windowsCPUs);
        EXPECT_EQ(model->memorySizeGB(), c.windowsMemoryGB);
        EXPECT_EQ(model->diskSizeGB(), 64);
        EXPECT_EQ(model->selectedDisplayPreset(), VMHardwareProfile::DisplayPreset::wxga1280x800);
        model->setGuestOSType(VMGuestOSType::linux);
        // Whatever the host, the defaults pass the general step once the guest's own minimum is met.
        EXPECT_TRUE(model->canAdvance());
    }
}

TEST_F(CreateVMWizardViewModelTest, GuestChangesRenameOnlyDefaultNamesAndResetTheStep)
{
    auto model = wizard();
    model->setDiskSizeGB(6);
    model->setGuestOSType(VMGuestOSType::linux);
    EXPECT_EQ(model->name(), QStringLiteral("New Linux VM"));
    EXPECT_EQ(model->diskSizeGB(), 32);
    EXPECT_EQ(model->cpuCount(), 4);
    model->goToNextStep();
    EXPECT_EQ(model->currentStep(), Step::linuxSource);
    model->setGuestOSType(VMGuestOSType::linux);
    EXPECT_EQ(model->currentStep(), Step::linuxSource);
    model->setGuestOSType(VMGuestOSType::windows);
    EXPECT_EQ(model->currentStep(), Step::general);
    EXPECT_EQ(model->name(), QStringLiteral("New Windows VM"));
    model->setGuestOSType(VMGuestOSType::macOS);
    EXPECT_EQ(model->name(), QStringLiteral("New Virtual Mac"));
    EXPECT_EQ(model->selectedDisplayPreset(), VMHardwareProfile::DisplayPreset::wuxga1920x1200) << "a display nobody chose follows the guest";
    model->setName(QStringLiteral("Build Box"));
    for (VMGuestOSType guest : {VMGuestOSType::linux, VMGuestOSType::windows, VMGuestOSType::macOS})
        model->setGuestOSType(guest);
    EXPECT_EQ(model->name(), QStringLiteral("Build Box"));
}

TEST_F(CreateVMWizardViewModelTest, AGuestChangeKeepsWhatTheUserChoseAndDropsTheOldGuestsBanner)
{
    using Preset = VMHardwareProfile::DisplayPreset;
    struct Hardware {
        qint64 cpus;
        double memoryGB;
        double diskGB;
        Preset display;
        bool operator==(const Hardware &) const = default;
    };
    const auto hardware = [](const CreateVMWizardViewModel &m) {
        return Hardware{m.cpuCount(), m.memorySizeGB(), m.diskSizeGB(), m.selectedDisplayPreset()};
    };

    // Nothing chosen: each guest shows its own defaults, there and back.
    auto untouched = wizard({16, 32 * gibibyte});
    untouched->setGuestOSType(VMGuestOSType::linux);
    EXPECT_EQ(hardware(*untouched), (Hardware{4, 8, 64, Preset::wuxga1920x1200}));
    untouched->setGuestOSType(VMGuestOSType::windows);
    EXPECT_EQ(hardware(*untouched), (Hardware{8, 16, 64, Preset::wxga1280x800}));
    untouched->setGuestOSType(VMGuestOSType::linux);
    EXPECT_EQ(hardware(*untouched), (Hardware{4, 8, 64, Preset::wuxga1920x1200}));

    // What the user typed stays through Linux, Windows and back; only the display nobody chose follows the guest.
    auto typed = wizard({16, 32 * gibibyte});
    typed->setGuestOSType(VMGuestOSType::linux);
    typed->setCPUCount(2);
    typed->setMemorySizeGB(4);
    typed->setDiskSizeGB(16);
    typed->setGuestOSType(VMGuestOSType::windows);
    EXPECT_EQ(hardware(*typed), (Hardware{2, 4, 16, Preset::wxga1280x800}));
    EXPECT_EQ(typed->advanceBlockReason(), QStringLiteral("Windows needs a disk of at least 64 GB.")) << "kept, and said why it does not do";
    typed->setGuestOSType(VMGuestOSType::linux);
    EXPECT_EQ(hardware(*typed), (Hardware{2, 4, 16, Preset::wuxga1920x1200}));
    typed->setSelectedDisplayPreset(Preset::xga1024x768);
    typed->setGuestOSType(VMGuestOSType::windows);
    EXPECT_EQ(typed->selectedDisplayPreset(), Preset::xga1024x768);

    // The refusal of a Windows image is not the Linux page's business.
    const QString small = m_home.path() + QStringLiteral("/small.iso");
    write(small, "tiny");
    typed->goToNextStep();
    waitForOutcome(typed->validateWindowsImage(small)).get();
    ASSERT_EQ(typed->errorMessage(), QStringLiteral("This file is too small to be a Windows ISO (minimum ~4 GB expected)."));
    typed->setGuestOSType(VMGuestOSType::linux);
    EXPECT_EQ(typed->errorMessage(), std::nullopt);
}

TEST_F(CreateVMWizardViewModelTest, StepsFollowTheGuest)
{
    auto model = wizard();
    EXPECT_EQ(model->visibleSteps(), (QList<Step>{Step::general, Step::macOSSource, Step::sharedFolders, Step::firstBoot, Step::review}));
    model->setGuestOSType(VMGuestOSType::linux);
    EXPECT_EQ(model->visibleSteps(), (QList<Step>{Step::general, Step::linuxSource, Step::sharedFolders, Step::review}));
    model->setGuestOSType(VMGuestOSType::windows);
    model->goToPreviousStep();
    EXPECT_EQ(model->currentStep(), Step::general);
    model->goToNextStep();
    EXPECT_EQ(model->currentStep(), Step::windowsSource);
    EXPECT_FALSE(model->canAdvance());
    model->goToNextStep();
    model->goToNextStep();
    EXPECT_EQ(model->currentStep(), Step::review);
    EXPECT_TRUE(model->canAdvance());
}

TEST_F(CreateVMWizardViewModelTest, GeneralStepRefusesWhatCannotBeMadeOrStartedAndSaysWhy)
{
    const QString file = m_home.path() + QStringLiteral("/plain-file");
    write(file, "x");
    const double infinity = std::numeric_limits<double>::infinity();
    const QString cpus = QStringLiteral("Choose from 1 to 8 CPUs: this computer has 8.");
    const QString folder = QStringLiteral("The storage folder does not exist. Choose another folder.");
    struct Case {
        const char *what;
        VMGuestOSType guest;
        std::function<void(CreateVMWizardViewModel &)> change;
        /// Why Next is disabled; none when the step is complete.
        std::optional<QString> blocked;
    };
    const QList<Case> cases{
        {"defaults", VMGuestOSType::macOS, [](CreateVMWizardViewModel &) {}, std::nullopt},
        {"blank name", VMGuestOSType::macOS, [](CreateVMWizardViewModel &m) { m.setName(QStringLiteral(" \n ")); }, QStringLiteral("Enter a name for the VM.")},
        {"3.5 GB for macOS", VMGuestOSType::macOS, [](CreateVMWizardViewModel &m) { m.setMemorySizeGB(3.5); },
         QStringLiteral("macOS needs at least 4 GB of memory.")},
        {"1 GB for Linux", VMGuestOSType::linux, [](CreateVMWizardViewModel &m) { m.setMemorySizeGB(1); }, std::nullopt},
        {"31 GB disk for Windows", VMGuestOSType::windows, [](CreateVMWizardViewModel &m) { m.setDiskSizeGB(31); },
         QStringLiteral("Windows needs a disk of at least 64 GB.")},
        {"63 GB disk for Windows", VMGuestOSType::windows, [](CreateVMWizardViewModel &m) { m.setDiskSizeGB(63); },
         QStringLiteral("Windows needs a disk of at least 64 GB.")},
        {"32 GB disk for macOS", VMGuestOSType::macOS, [](CreateVMWizardViewModel &m) { m.setDiskSizeGB(32); }, std::nullopt},
        {"8 GB disk for Linux", VMGuestOSType::linux, [](CreateVMWizardViewModel &m) { m.setDiskSizeGB(8); }, std::nullopt},
        {"more CPUs than the host", VMGuestOSType::linux, [](CreateVMWizardViewModel &m) { m.setCPUCount(9); }, cpus},
        {"no CPU", VMGuestOSType::linux, [](CreateVMWizardViewModel &m) { m.setCPUCount(0); }, cpus},
        {"more memory than the host spares", VMGuestOSType::linux, [](CreateVMWizardViewModel &m) { m.setMemorySizeGB(13); },
         QStringLiteral("At most 12 GB: leaves 4 GB for this computer.")},
        {"infinite disk", VMGuestOSType::linux, [infinity](CreateVMWizardViewModel &m) { m.setDiskSizeGB(infinity); },
         QStringLiteral("Choose the size of the VM's disk.")},
        {"a disk beyond the largest", VMGuestOSType::linux, [](CreateVMWizardViewModel &m) { m.setDiskSizeGB(16385); },
         QStringLiteral("A disk can have at most 16384 GB.")},
        {"NaN memory", VMGuestOSType::linux, [](CreateVMWizardViewModel &m) { m.setMemorySizeGB(std::nan("")); },
         QStringLiteral("Choose how much memory the VM gets.")},
        {"bridged without interface", VMGuestOSType::linux, [](CreateVMWizardViewModel &m) { m.setNetworkMode(VMNetworkConfiguration::Mode::bridged); },
         QStringLiteral("This computer has no network interface to bridge to. Use Shared NAT instead.")},
        {"missing folder", VMGuestOSType::linux, [this](CreateVMWizardViewModel &m) { m.setDestinationDirectoryURL(m_home.path() + QStringLiteral("/gone")); },
         folder},
        {"a file as folder", VMGuestOSType::linux, [file](CreateVMWizardViewModel &m) { m.setDestinationDirectoryURL(file); }, folder},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        auto model = wizard();
        model->setGuestOSType(c.guest);
        c.change(*model);
        EXPECT_EQ(model->canAdvance(), !c.blocked);
        EXPECT_EQ(model->advanceBlockReason(), c.blocked);
    }
}

TEST_F(CreateVMWizardViewModelTest, EveryOtherStepThatHoldsSaysWhy)
{
    auto model = wizard();
    model->setGuestOSType(VMGuestOSType::linux);
    model->goToNextStep();
    ASSERT_EQ(model->currentStep(), Step::linuxSource);
    EXPECT_EQ(model->advanceBlockReason(), QStringLiteral("Choose a distribution."));
    model->setLinuxSourceMode(CreateVMWizardViewModel::LinuxSourceMode::localISO);
    EXPECT_EQ(model->advanceBlockReason(), QStringLiteral("Choose an ISO image."));

    model->setGuestOSType(VMGuestOSType::windows);
    model->goToNextStep();
    ASSERT_EQ(model->currentStep(), Step::windowsSource);
    EXPECT_EQ(model->advanceBlockReason(), QStringLiteral("Choose a Windows 11 ARM image."));

    model->setGuestOSType(VMGuestOSType::macOS);
    model->setSourceMode(CreateVMWizardViewModel::SourceMode::local);
    model->goToNextStep();
    ASSERT_EQ(model->currentStep(), Step::macOSSource);
    EXPECT_EQ(model->advanceBlockReason(), QStringLiteral("Choose a restore image file."));
    EXPECT_FALSE(model->canAdvance());
}

TEST_F(CreateVMWizardViewModelTest, MemoryFollowsTheRuleOfTheSettingsSheetAndSaysWhyAtTheTop)
{
    const HostCapacity host{8, 16 * gibibyte};
    auto model = wizard(host);
    model->setGuestOSType(VMGuestOSType::linux);
    EXPECT_EQ(model->limits().maximumMemoryGB(), VMDetailsTexts::maximumMemorySizeGB(std::nullopt, host));
    EXPECT_EQ(model->limits().maximumMemoryGB(), 12);
    model->setMemorySizeGB(11);
    EXPECT_EQ(model->memoryLimitText(), std::nullopt);
    model->setMemorySizeGB(12);
    EXPECT_EQ(model->memoryLimitText(), QStringLiteral("At most 12 GB: leaves 4 GB for this computer."));
    EXPECT_TRUE(model->canAdvance());
    model->setMemorySizeGB(13);
    EXPECT_EQ(model->advanceBlockReason(), model->memoryLimitText());
}

TEST_F(CreateVMWizardViewModelTest, TypedSizesAreStoredInWholeGBAndReadBackAsTyped)
{
    bootableISO(QStringLiteral("installer.iso"));
    auto model = wizard();
    model->setGuestOSType(VMGuestOSType::linux);
    model->setMemorySizeGB(6);
    model->setDiskSizeGB(40);
    model->setLinuxSourceMode(CreateVMWizardViewModel::LinuxSourceMode::localISO);
    model->setLocalLinuxISOURL(m_home.path() + QStringLiteral("/installer.iso"));
    model->createLinuxVM();
    waitForEnd(*model);
    ASSERT_TRUE(model->didFinishSuccessfully()) << model->errorMessage().value_or(QString()).toStdString();
    const std::unique_ptr<VMDetailsViewModel> details = makeDetails(*model->createdBundleID());
    EXPECT_EQ(details->bundle()->metadata.memorySizeBytes, 6 * gibibyte);
    EXPECT_EQ(details->bundle()->metadata.diskSizeBytes, 40 * gibibyte);
    EXPECT_EQ(details->hardwareSummary(), QStringLiteral("4 CPUs • 6 GB • 40 GB"));
    EXPECT_EQ(details->virtualCapacityText(), QStringLiteral("40 GB"));
}

TEST_F(CreateVMWizardViewModelTest, OnAHostThatCannotInstallMacOSTheWizardStartsOnLinuxAndATemplateLeavesTheGuestChoosable)
{
    m_macOSRefusal = QStringLiteral("macOS cannot be installed on this host: QEMU cannot boot macOS.");
    auto model = wizard();
    EXPECT_EQ(model->guestOSType(), VMGuestOSType::linux);
    EXPECT_EQ(model->name(), QStringLiteral("New Linux VM"));
    EXPECT_EQ(model->visibleSteps(), (QList<Step>{Step::general, Step::linuxSource, Step::sharedFolders, Step::review}));
    EXPECT_TRUE(model->canAdvance());

    // A template saved from a small Linux VM: its hardware, on the guest already chosen.
    VMTemplate saved;
    saved.name = QStringLiteral("Web Server");
    saved.hardwareProfile = {2, 2 * gibibyte, 20 * gibibyte, 1280, 800, 80};
    model->applyTemplate(saved);
    EXPECT_EQ(model->guestOSType(), VMGuestOSType::linux);
    EXPECT_EQ(model->name(), QStringLiteral("New Web Server"));
    EXPECT_EQ(model->memorySizeGB(), 2);
    EXPECT_EQ(model->diskSizeGB(), 20);
    EXPECT_EQ(model->advanceBlockReason(), std::nullopt);

    // Every guest stays choosable; where one cannot go on, Next says why.
    model->setGuestOSType(VMGuestOSType::macOS);
    EXPECT_EQ(model->guestOSType(), VMGuestOSType::macOS);
    EXPECT_EQ(model->advanceBlockReason(), m_macOSRefusal);
    model->setGuestOSType(VMGuestOSType::windows);
    EXPECT_EQ(model->guestOSType(), VMGuestOSType::windows);
    // The template's hardware was chosen: it stays, and Next says what Windows needs of it.
    EXPECT_EQ(model->memorySizeGB(), 2);
    EXPECT_EQ(model->advanceBlockReason(), QStringLiteral("Windows needs at least 4 GB of memory."));
    model->setMemorySizeGB(4);
    model->setDiskSizeGB(64);
    EXPECT_TRUE(model->canAdvance()) << model->advanceBlockReason().value_or(QString()).toStdString();
}

TEST_F(CreateVMWizardViewModelTest, HardwareProfileRoundsAndRefusesNonFiniteSizes)
{
    auto model = wizard();
    model->setMemorySizeGB(8.4);
    EXPECT_EQ(model->makeHardwareProfile()->memorySizeBytes, 8 * gibibyte);
    model->setMemorySizeGB(8.5);
    const VMHardwareProfile profile = *model->makeHardwareProfile();
    EXPECT_EQ(profile.memorySizeBytes, 9 * gibibyte);
    EXPECT_EQ(profile.displayWidth, 1920);
    EXPECT_EQ(profile.displayPixelsPerInch, 80);
    model->setDiskSizeGB(std::numeric_limits<double>::infinity());
    EXPECT_FALSE(model->makeHardwareProfile());
}

TEST_F(CreateVMWizardViewModelTest, TemplateFillsTheGeneralChoices)
{
    auto model = wizard();
    VMTemplate source;
    source.name = QStringLiteral("Runner");
    source.hardwareProfile = {2, 6'442'450'944ULL, 40 * gibibyte, 1000, 700, 80};
    source.mediaConfiguration.isMicrophoneEnabled = true;
    model->applyTemplate(source);
    EXPECT_EQ(model->name(), QStringLiteral("New Runner"));
    EXPECT_EQ(model->cpuCount(), 2);
    EXPECT_EQ(model->memorySizeGB(), 6);
    EXPECT_EQ(model->diskSizeGB(), 40);
    EXPECT_EQ(model->selectedDisplayPreset(), VMHardwareProfile::DisplayPreset::wuxga1920x1200);
    EXPECT_TRUE(model->isMicrophoneEnabled());
}

TEST_F(CreateVMWizardViewModelTest, FailedDownloadsLeaveNoVMAndNoISOInTheCache)
{
    const QByteArray iso = isoBytes();
    struct Case {
        const char *what;
        FakeHttpServer::Response response;
        QString message;
    };
    FakeHttpServer::Response truncated(200, iso);
    truncated.cutAfter = iso.size() / 2;
    FakeHttpServer::Response notISO(200, QByteArray(iso.size(), 'z'));
    const QList<Case> cases{
        {"404", FakeHttpServer::Response(404, "missing"), QStringLiteral("Linux ISO download failed: HTTP 404")},
        {"500", FakeHttpServer::Response(500, "broken"), QStringLiteral("Linux ISO download failed: HTTP 500")},
        {"truncated", truncated, QString()},
        {"not an ISO", notISO, QStringLiteral("Linux ISO download failed: the file is not a complete ISO 9660 image.")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        m_server.setResponder([&](const FakeHttpServer::Request &) { return c.response; });
        auto model = linuxWizard(QStringLiteral("/%1.iso").arg(QString::fromLatin1(c.what).replace(QLatin1Char(' '), QLatin1Char('-'))));
        model->setName(QString::fromLatin1(c.what));
        model->createLinuxVM();
        waitForEnd(*model);
        ASSERT_TRUE(model->errorMessage());
        EXPECT_TRUE(model->errorMessage()->startsWith(QStringLiteral("Linux ISO download failed: "))) << model->errorMessage()->toStdString();
        if (!c.message.isEmpty()) {
            EXPECT_EQ(*model->errorMessage(), c.message);
        }
        EXPECT_FALSE(model->didFinishSuccessfully());
        // No VM that stays "Preparing" for ever: the half-made bundle leaves the library and the disk.
        EXPECT_TRUE(store().bundles().isEmpty());
        EXPECT_TRUE(QDir(store().rootURL()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
        EXPECT_TRUE(QDir(m_linux.isoCacheDirectory()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }
}

TEST_F(CreateVMWizardViewModelTest, ADownloadFillsBundleAndCacheAndAReadyWizardStaysReady)
{
    const QByteArray iso = isoBytes();
    m_server.setResponder([&](const FakeHttpServer::Request &) { return FakeHttpServer::Response(200, iso); });
    auto model = linuxWizard(QStringLiteral("/testix.iso"));
    // No Rosetta share can reach a guest on this host: the switch stays off and the bundle says so.
    model->setLinuxUseRosetta(true);
    EXPECT_FALSE(model->linuxUseRosetta());
    QList<double> fractions;
    QObject::connect(model.get(), &CreateVMWizardViewModel::changed, [&] { fractions << model->installProgress().fractionCompleted; });
    model->createLinuxVM();
    model->createLinuxVM(); // a second press while one runs does nothing
    waitForEnd(*model);
    ASSERT_TRUE(model->didFinishSuccessfully()) << model->errorMessage().value_or(QString()).toStdString();
    ASSERT_EQ(store().bundles().size(), 1);
    const VMBundle bundle = *store().bundle(*model->createdBundleID());
    EXPECT_EQ(bytes(bundle.layout().linuxInstallISOURL()), iso);
    EXPECT_EQ(bytes(cacheFile(QStringLiteral("testix.iso"))), iso);
    EXPECT_EQ(bundle.metadata.guestOSType, VMGuestOSType::linux);
    EXPECT_EQ(bundle.metadata.installState, VMInstallState::installed);
    EXPECT_EQ(bundle.metadata.guestOSDisplayName, QStringLiteral("Testix 1.0 (arm64)"));
    EXPECT_EQ(bundle.metadata.diskSizeBytes, 16 * gibibyte);
    EXPECT_TRUE(QFile::exists(bundle.layout().efiVariableStoreURL()));
    EXPECT_EQ(bytes(bundle.layout().linuxBootURL()), QByteArray("{\n  \"commandLine\": \"console=hvc0\",\n  \"kernelPath\": \"\",\n  \"useRosetta\": false\n}"));
    EXPECT_EQ(model->installProgress().fractionCompleted, 1.0);
    EXPECT_EQ(model->installProgress().detail, QStringLiteral("Testix 1.0 (arm64) is ready. Start the VM to begin installation."));
    ASSERT_FALSE(fractions.isEmpty());
    EXPECT_EQ(fractions.last(), 1.0);

    // The next creation of the same distribution is served from the cache.
    const qsizetype requests = m_server.requests().size();
    model->setName(QStringLiteral("Second"));
    model->createLinuxVM();
    waitForEnd(*model);
    EXPECT_TRUE(model->didFinishSuccessfully());
    EXPECT_EQ(m_server.requests().size(), requests);
    EXPECT_EQ(bytes(store().bundle(*model->createdBundleID())->layout().linuxInstallISOURL()), iso);
}

TEST_F(CreateVMWizardViewModelTest, APartialCacheFileIsNotUsed)
{
    const QByteArray iso = isoBytes();
    FileOperations::createFolders(m_linux.isoCacheDirectory());
    // A large start of the image, as an interrupted copy of old left it.
    write(cacheFile(QStringLiteral("testix.iso")), iso.left(1'200'000));
    m_server.setResponder([&](const FakeHttpServer::Request &) { return FakeHttpServer::Response(200, iso); });
    auto model = linuxWizard(QStringLiteral("/testix.iso"));
    model->createLinuxVM();
    waitForEnd(*model);
    ASSERT_TRUE(model->didFinishSuccessfully());
    EXPECT_EQ(m_server.requests().size(), 1);
    EXPECT_EQ(bytes(store().bundle(*model->createdBundleID())->layout().linuxInstallISOURL()), iso);
}

TEST_F(CreateVMWizardViewModelTest, ABrokenDownloadIsResumedByTheNextCreation)
{
    const QByteArray iso = isoBytes();
    const QString source = m_home.path() + QStringLiteral("/source.iso");
    bool breaking = true;
    m_server.setResponder([&](const FakeHttpServer::Request &request) {
        FakeHttpServer::Response response = FakeHttpServer::fileResponse(request, source, "\"v1\"");
        if (breaking)
            response.cutAfter = 900'000;
        return response;
    });
    auto model = linuxWizard(QStringLiteral("/resumed.iso"));
    model->createLinuxVM();
    waitForEnd(*model);
    ASSERT_TRUE(model->errorMessage());
    EXPECT_TRUE(model->errorMessage()->startsWith(QStringLiteral("Linux ISO download failed: "))) << model->errorMessage()->toStdString();
    EXPECT_TRUE(model->errorMessage()->endsWith(QStringLiteral(" Retry again to continue from the saved partial download.")))
        << model->errorMessage()->toStdString();
    EXPECT_TRUE(store().bundles().isEmpty());

    breaking = false;
    const qsizetype requests = m_server.requests().size();
    model->createLinuxVM();
    waitForEnd(*model);
    ASSERT_TRUE(model->didFinishSuccessfully()) << model->errorMessage().value_or(QString()).toStdString();
    ASSERT_EQ(m_server.requests().size(), requests + 1);
    EXPECT_EQ(m_server.requests().last().header("range"), "bytes=900000-");
    EXPECT_EQ(m_server.requests().last().header("if-range"), "\"v1\"");
    EXPECT_EQ(bytes(store().bundle(*model->createdBundleID())->layout().linuxInstallISOURL()), iso);
    EXPECT_EQ(bytes(cacheFile(QStringLiteral("resumed.iso"))), iso);
    EXPECT_EQ(QDir(m_linux.isoCacheDirectory()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("resumed.iso")});
}

TEST_F(CreateVMWizardViewModelTest, ACompleteCachedISOCreatesTheVMWithoutTheNetwork)
{
    const QByteArray iso = isoBytes();
    FileOperations::createFolders(m_linux.isoCacheDirectory());
    write(cacheFile(QStringLiteral("testix.iso")), iso);
    auto model = linuxWizard(QStringLiteral("/testix.iso"));
    LinuxDistribution unreachable = *model->selectedLinuxDistribution();
    unreachable.isoURL = QUrl(QStringLiteral("http://127.0.0.1:9/testix.iso"));
    model->setSelectedLinuxDistribution(unreachable);
    model->createLinuxVM();
    waitForEnd(*model);
    ASSERT_TRUE(model->didFinishSuccessfully()) << model->errorMessage().value_or(QString()).toStdString();
    EXPECT_EQ(bytes(store().bundle(*model->createdBundleID())->layout().linuxInstallISOURL()), iso);
}

TEST_F(CreateVMWizardViewModelTest, ChangesDuringTheDownloadSurviveAndADeletedVMFailsTheCreation)
{
    const QByteArray iso = isoBytes();
    m_server.setResponder([&](const FakeHttpServer::Request &) { return FakeHttpServer::Response(200, iso); });
    for (const bool deleteIt : {false, true}) {
        SCOPED_TRACE(deleteIt);
        auto model = linuxWizard(QStringLiteral("/changed-%1.iso").arg(deleteIt));
        model->setName(deleteIt ? QStringLiteral("Doomed") : QStringLiteral("Kept"));
        std::optional<QUuid> touched;
        QObject::connect(model.get(), &CreateVMWizardViewModel::changed, model.get(), [&] {
            if (touched || model->installProgress().stage != Stage::downloadingLinuxISO)
                return;
            touched = bundleNamed(model->name())->id();
            if (deleteIt) {
                store().deleteBundle(*touched);
                return;
            }
            VMBundle renamed = *store().bundle(*touched);
            renamed.metadata.name = QStringLiteral("Renamed");
            renamed.metadata.colorTag = VMColorTag::blue;
            store().updateMetadata(renamed);
        });
        model->createLinuxVM();
        waitForEnd(*model);
        ASSERT_TRUE(touched);
        if (deleteIt) {
            EXPECT_FALSE(model->didFinishSuccessfully());
            EXPECT_TRUE(model->errorMessage());
            EXPECT_FALSE(store().bundle(*touched));
            EXPECT_FALSE(QFile::exists(store().rootURL() + QStringLiteral("/Doomed.vm")));
        } else {
            ASSERT_TRUE(model->didFinishSuccessfully()) << model->errorMessage().value_or(QString()).toStdString();
            const VMMetadata metadata = store().bundle(*touched)->metadata;
            EXPECT_EQ(metadata.name, QStringLiteral("Renamed"));
            EXPECT_EQ(metadata.colorTag, VMColorTag::blue);
            EXPECT_EQ(metadata.installState, VMInstallState::installed);
        }
    }
}

TEST_F(CreateVMWizardViewModelTest, ACancelledDownloadShowsAsACancelAndLeavesNoISO)
{
    const QByteArray iso = isoBytes();
    FakeHttpServer::Response slow(200, iso);
    slow.cutAfter = 1000;
    slow.stall = true;
    m_server.setResponder([&](const FakeHttpServer::Request &) { return slow; });
    auto model = linuxWizard(QStringLiteral("/slow.iso"));
    model->createLinuxVM();
    ASSERT_TRUE(waitUntil([&] { return !m_server.requests().isEmpty(); }));
    EXPECT_EQ(model->installProgress().stage, Stage::downloadingLinuxISO);
    model->cancelCreation();
    EXPECT_FALSE(model->isCreating());
    EXPECT_EQ(model->errorMessage(), QStringLiteral("Linux ISO download cancelled."));
    const VMBundle bundle = store().bundles().last();
    // Once the download has stopped, the half-made VM goes with it.
    EXPECT_TRUE(waitUntil([&] { return !store().bundle(bundle.id()) && !QFileInfo::exists(bundle.bundleURL); }));
    EXPECT_EQ(model->errorMessage(), QStringLiteral("Linux ISO download cancelled."));
    EXPECT_EQ(model->installProgress().stage, Stage::downloadingLinuxISO);
}

TEST_F(CreateVMWizardViewModelTest, AClosedWizardStillFinishesItsVM)
{
    const QByteArray iso = isoBytes();
    m_server.setResponder([&](const FakeHttpServer::Request &) { return FakeHttpServer::Response(200, iso); });
    std::weak_ptr<CreateVMWizardViewModel> weak;
    {
        auto model = linuxWizard(QStringLiteral("/closed.iso"));
        weak = model;
        model->createLinuxVM();
    }
    EXPECT_FALSE(weak.expired());
    ASSERT_TRUE(waitUntil([&] { return weak.expired(); }, std::chrono::seconds(20)));
    ASSERT_EQ(store().bundles().size(), 1);
    EXPECT_EQ(store().bundles().first().metadata.installState, VMInstallState::installed);
}

TEST_F(CreateVMWizardViewModelTest, ALocalISOIsCopiedAndNamedAsLinux)
{
    const QByteArray iso = bytes(bootableISO(QStringLiteral("source.iso")));
    auto model = linuxWizard(QStringLiteral("/unused.iso"));
    model->setLinuxSourceMode(CreateVMWizardViewModel::LinuxSourceMode::localISO);
    model->setLocalLinuxISOURL(m_home.path() + QStringLiteral("/source.iso"));
    model->setDiskSizeGB(8);
    EXPECT_EQ(model->reviewSourceSummary(), QStringLiteral("source.iso"));
    model->createLinuxVM();
    waitForEnd(*model);
    ASSERT_TRUE(model->didFinishSuccessfully()) << model->errorMessage().value_or(QString()).toStdString();
    const VMBundle bundle = *store().bundle(*model->createdBundleID());
    EXPECT_EQ(bundle.metadata.guestOSDisplayName, QStringLiteral("Linux"));
    EXPECT_EQ(bundle.metadata.diskSizeBytes, 8 * gibibyte);
    EXPECT_EQ(bytes(bundle.layout().linuxInstallISOURL()), iso);
    EXPECT_TRUE(m_server.requests().isEmpty());
    EXPECT_TRUE(appLog().contains(QStringLiteral("Created Linux VM 'New Linux VM' with EFI boot and ISO attached")));
}

TEST_F(CreateVMWizardViewModelTest, ACreationThatFailsLeavesNothingButWhatTheUserHad)
{
    // What the user had: a VM of the library, and a folder with the name the new VM asks for.
    const VMBundle kept = installedBundle(QStringLiteral("Kept"));
    const QString mine = store().rootURL() + QStringLiteral("/Doomed.vm/mine.txt");
    write(mine, "mine");
    const struct {
        const char *what;
        VMGuestOSType guest;
        double diskSizeGB;
        QString imageGoesAt;
    } cases[] = {
        {"linux: the ISO goes before it is copied", VMGuestOSType::linux, 8, QStringLiteral("Copying ISO to VM bundle...")},
        {"windows: the image goes before it is copied", VMGuestOSType::windows, 64, QStringLiteral("Copying Windows ISO to VM bundle...")},
        {"windows: a disk below the minimum", VMGuestOSType::windows, 16, QString()},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        const QString image = bootableISO(QStringLiteral("image.iso"));
        auto model = doomedWizard(testCase.guest, testCase.diskSizeGB, image);
        if (testCase.guest == VMGuestOSType::windows)
            waitForOutcome(model->validateWindowsImage(image)).get();
        bool madeBundle = false;
        QObject::connect(model.get(), &CreateVMWizardViewModel::changed, model.get(), [&] {
            madeBundle = madeBundle || bundleNamed(QStringLiteral("Doomed"));
            if (!testCase.imageGoesAt.isEmpty() && model->installProgress().detail == testCase.imageGoesAt)
                QFile::remove(image);
        });
        if (testCase.guest == VMGuestOSType::linux)
            model->createLinuxVM();
        else
            model->createWindowsVM();
        waitForEnd(*model);

        EXPECT_TRUE(madeBundle) << "the failure came after the VM was in the library";
        EXPECT_FALSE(model->didFinishSuccessfully());
        EXPECT_TRUE(model->errorMessage());
        EXPECT_EQ(store().bundles().size(), 1);
        EXPECT_TRUE(store().bundle(kept.id()));
        EXPECT_EQ(QDir(store().rootURL()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  (QStringList {QStringLiteral("Doomed.vm"), QStringLiteral("Kept.vm")}));
        EXPECT_EQ(bytes(mine), "mine");
        EXPECT_TRUE(QFileInfo::exists(kept.layout().diskImageURL()));
    }
}

/// Takes the hook of the file helpers away when the test ends, however it ends.
struct WriteStepHook {
    explicit WriteStepHook(WriteSteps::Hook hook) { WriteSteps::setHook(std::move(hook)); }
    ~WriteStepHook() { WriteSteps::setHook({}); }
    WriteStepHook(const WriteStepHook &) = delete;
    WriteStepHook &operator=(const WriteStepHook &) = delete;
};

TEST_F(CreateVMWizardViewModelTest, ACreationThatFailsAtAnyStepLeavesNothingItMadeInTheChosenFolder)
{
    const QString chosen = m_home.path() + QStringLiteral("/Chosen");
    write(chosen + QStringLiteral("/mine.txt"), "mine");
    const struct {
        const char *what;
        VMGuestOSType guest;
        WriteSteps::Step step;
        QString failingPath;
    } cases[] = {
        {"linux: making the bundle's folders", VMGuestOSType::linux, WriteSteps::Step::makeFolder, QStringLiteral("/Logs")},
        {"linux: the EFI variable store", VMGuestOSType::linux, WriteSteps::Step::copy, QStringLiteral("/EFIVariableStore.bin")},
        {"linux: the ISO copy", VMGuestOSType::linux, WriteSteps::Step::copy, QStringLiteral("/LinuxInstall.iso")},
        {"windows: making the bundle's folders", VMGuestOSType::windows, WriteSteps::Step::makeFolder, QStringLiteral("/Logs")},
        {"windows: the ISO copy", VMGuestOSType::windows, WriteSteps::Step::copy, QStringLiteral("/WindowsInstall.iso")},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        const QString image = bootableISO(QStringLiteral("image.iso"));
        auto model = doomedWizard(testCase.guest, testCase.guest == VMGuestOSType::linux ? 8 : 64, image);
        model->setDestinationDirectoryURL(chosen);
        if (testCase.guest == VMGuestOSType::windows)
            waitForOutcome(model->validateWindowsImage(image)).get();
        {
            // As a full disk would.
            const WriteStepHook fullDisk([&testCase](WriteSteps::Step step, const QString &path) {
                if (step == testCase.step && path.endsWith(testCase.failingPath))
                    throw PlatformError::posix(ENOSPC, path);
            });
            if (testCase.guest == VMGuestOSType::linux)
                model->createLinuxVM();
            else
                model->createWindowsVM();
            waitForEnd(*model);
        }

        EXPECT_FALSE(model->didFinishSuccessfully());
        ASSERT_TRUE(model->errorMessage());
        EXPECT_TRUE(model->errorMessage()->contains(QStringLiteral("No space left on device"))) << model->errorMessage()->toStdString();
        EXPECT_TRUE(store().bundles().isEmpty());
        EXPECT_EQ(QDir(chosen).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList {QStringLiteral("mine.txt")});
        EXPECT_EQ(bytes(chosen + QStringLiteral("/mine.txt")), "mine");
    }
}

TEST_F(CreateVMWizardViewModelTest, CancelStopsTheCopyOfALocalISOAndLeavesNothingBehind)
{
    const QString chosen = m_home.path() + QStringLiteral("/Chosen");
    write(chosen + QStringLiteral("/mine.txt"), "mine");
    // The copy waits at its start until the test has pressed Cancel, so the press comes while it runs.
    QSemaphore copyStarted;
    QSemaphore cancelPressed;
    const WriteStepHook hook([&](WriteSteps::Step step, const QString &path) {
        if (step == WriteSteps::Step::copy && path.endsWith(QStringLiteral("/LinuxInstall.iso"))) {
            copyStarted.release();
            cancelPressed.acquire();
        }
    });
    const struct Release {
        QSemaphore &semaphore;
        ~Release() { semaphore.release(); }
    } releaseTheCopy {cancelPressed};

    auto model = linuxWizard(QStringLiteral("/unused.iso"));
    model->setName(QStringLiteral("Stopped"));
    model->setDiskSizeGB(8);
    model->setDestinationDirectoryURL(chosen);
    model->setLinuxSourceMode(CreateVMWizardViewModel::LinuxSourceMode::localISO);
    model->setLocalLinuxISOURL(bootableISO(QStringLiteral("image.iso")));
    model->createLinuxVM();
    ASSERT_TRUE(waitUntil([&] { return copyStarted.tryAcquire(); }));
    settle();
    EXPECT_EQ(model->installProgress().detail, QStringLiteral("Copying ISO to VM bundle..."));
    EXPECT_TRUE(model->canCancelCreation());

    model->cancelCreation();
    cancelPressed.release();
    EXPECT_FALSE(model->isCreating());
    EXPECT_FALSE(model->canCancelCreation());
    EXPECT_EQ(model->errorMessage(), QStringLiteral("Linux ISO copy cancelled."));
    // Once the copy has stopped, the half-made VM goes with it, and with it everything the creation made.
    EXPECT_TRUE(waitUntil([&] {
        return store().bundles().isEmpty()
            && QDir(chosen).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot) == QStringList {QStringLiteral("mine.txt")};
    }));
    EXPECT_EQ(bytes(chosen + QStringLiteral("/mine.txt")), "mine");
    EXPECT_EQ(model->errorMessage(), QStringLiteral("Linux ISO copy cancelled."));
    EXPECT_FALSE(model->didFinishSuccessfully());
    EXPECT_TRUE(m_server.requests().isEmpty());
}

TEST_F(CreateVMWizardViewModelTest, AnImageThatCannotBootIsRefusedWhenChosenAndBeforeABundleIsMade)
{
    const QString notes = m_home.path() + QStringLiteral("/notes.iso");
    write(notes, "Just some notes, renamed.\n");
    const QString refusal =
        QStringLiteral("“notes.iso” is not an ISO disc image, so the VM could not start from it. Choose a Linux installer ISO built for arm64 (aarch64).");
    auto model = linuxWizard(QStringLiteral("/unused.iso"));
    model->setLinuxSourceMode(CreateVMWizardViewModel::LinuxSourceMode::localISO);
    model->goToNextStep();
    ASSERT_EQ(model->currentStep(), Step::linuxSource);

    m_chooser.answers << notes;
    waitForOutcome(model->chooseLocalLinuxISO()).get();
    EXPECT_EQ(model->localLinuxISOURL(), notes);
    EXPECT_FALSE(model->canAdvance());
    EXPECT_EQ(model->advanceBlockReason(), refusal);
    EXPECT_EQ(model->errorMessage(), refusal);

    // A bootable image chosen next takes the verdict and its banner away.
    m_chooser.answers << bootableISO(QStringLiteral("installer.iso"));
    waitForOutcome(model->chooseLocalLinuxISO()).get();
    EXPECT_TRUE(model->canAdvance()) << model->advanceBlockReason().value_or(QString()).toStdString();
    EXPECT_EQ(model->errorMessage(), std::nullopt);

    // An image taken without the check is still refused by the creation, before any bundle exists.
    model->setLocalLinuxISOURL(notes);
    model->createLinuxVM();
    waitForEnd(*model);
    EXPECT_FALSE(model->didFinishSuccessfully());
    EXPECT_EQ(model->errorMessage(), QStringLiteral("This action cannot be completed: ") + refusal);
    EXPECT_TRUE(store().bundles().isEmpty());
}

TEST_F(CreateVMWizardViewModelTest, MacOSCreationFailsAtOnceWithoutABundle)
{
    auto model = wizard();
    model->createMacOSVM();
    EXPECT_EQ(model->errorMessage(), QStringLiteral("Choose a restore image source before creating the VM."));
    EXPECT_FALSE(model->isCreating());
    model->setSourceMode(CreateVMWizardViewModel::SourceMode::local);
    write(m_home.path() + QStringLiteral("/image.ipsw"), "x");
    m_chooser.answers << m_home.path() + QStringLiteral("/image.ipsw");
    waitForOutcome(model->chooseLocalRestoreImage()).get();
    model->createMacOSVM();
    waitForEnd(*model);
    ASSERT_TRUE(model->errorMessage());
    EXPECT_TRUE(model->errorMessage()->contains(QStringLiteral("macOS cannot be installed on this host.")));
    EXPECT_FALSE(model->didFinishSuccessfully());
    EXPECT_TRUE(store().bundles().isEmpty());
}

TEST_F(CreateVMWizardViewModelTest, AMacOSReportAfterSuccessIsDropped)
{
    m_installer = &installWithLateReport;
    auto model = wizard();
    model->setSourceMode(CreateVMWizardViewModel::SourceMode::local);
    m_chooser.answers << m_home.path() + QStringLiteral("/missing.ipsw");
    waitForOutcome(model->chooseLocalRestoreImage()).get();
    model->setName(QStringLiteral("  Mac Box "));
    model->createMacOSVM();
    settle();
    EXPECT_TRUE(model->didFinishSuccessfully());
    EXPECT_EQ(model->installProgress().detail, QStringLiteral("Virtual Mac is ready"));
    EXPECT_EQ(model->installProgress().fractionCompleted, 1.0);
}

TEST_F(CreateVMWizardViewModelTest, CancelActsOnlyOnADownloadAndStaysACancel)
{
    m_installer = &installThatDownloads;
    auto model = wizard();
    model->setSourceMode(CreateVMWizardViewModel::SourceMode::local);
    m_chooser.answers << m_home.path() + QStringLiteral("/missing.ipsw");
    waitForOutcome(model->chooseLocalRestoreImage()).get();
    model->createMacOSVM();
    ASSERT_TRUE(waitUntil([&] { return model->installProgress().stage == Stage::downloadingRestoreImage; }));
    model->cancelCreation();
    EXPECT_FALSE(model->isCreating());
    EXPECT_EQ(m_restoreCancels, 1);
    EXPECT_EQ(model->errorMessage(), QStringLiteral("Restore image download cancelled."));
    QTest::qWait(400);
    EXPECT_EQ(model->errorMessage(), QStringLiteral("Restore image download cancelled."));

    // A retry starts from its own progress: the old download's report would offer its cancel for the new attempt.
    model->createMacOSVM();
    EXPECT_EQ(model->installProgress().stage, Stage::preparingBundle);
    EXPECT_EQ(model->installProgress().fractionCompleted, 0);
    EXPECT_FALSE(model->errorMessage());
    model->cancelCreation();
    EXPECT_TRUE(model->isCreating());
    waitForEnd(*model);
    model->clearErrorMessage();
    EXPECT_FALSE(model->errorMessage());
}

TEST_F(CreateVMWizardViewModelTest, SharedFoldersAreAddedOnceAndRemovedById)
{
    auto model = wizard();
    QStringList folders;
    for (const char *name : {"a", "b", "c", "d"}) {
        folders << m_home.path() + QStringLiteral("/shares/") + QLatin1String(name);
        QDir().mkpath(folders.last());
    }
    m_chooser.answers << folders[0] << folders[0] << folders[1] << folders[2] << folders[3] << std::nullopt;
    for (int press = 0; press < 6; ++press)
        waitForOutcome(model->addSharedFolders()).get();
    ASSERT_EQ(model->sharedFolders().size(), 4);
    EXPECT_EQ(model->sharedFolders().first().displayName, QStringLiteral("a"));
    EXPECT_FALSE(model->sharedFolders().first().isReadOnly);
    EXPECT_TRUE(model->sharedFolders().first().bookmarkData);
    const QUuid first = model->sharedFolders()[0].id;
    const QUuid third = model->sharedFolders()[2].id;
    // A request made before the list changed names the folders, so it still removes those and no others.
    model->removeSharedFolders({first});
    model->removeSharedFolders({third, first, QUuid::createUuid()});
    ASSERT_EQ(model->sharedFolders().size(), 2);
    EXPECT_EQ(model->sharedFolders()[0].localURL, QUrl::fromLocalFile(folders[1]));
    EXPECT_EQ(model->sharedFolders()[1].localURL, QUrl::fromLocalFile(folders[3]));
    model->removeSharedFolders({});
    EXPECT_EQ(model->sharedFolders().size(), 2);

    // Several at once, in the order given, skipping what is already shared.
    m_chooser.severalAnswers << QStringList{folders[2], folders[3], folders[0]};
    waitForOutcome(model->addSharedFolders()).get();
    QList<QUrl> shared;
    for (const VMSharedFolder &folder : model->sharedFolders())
        shared << folder.localURL;
    EXPECT_EQ(shared, (QList<QUrl>{QUrl::fromLocalFile(folders[1]), QUrl::fromLocalFile(folders[3]), QUrl::fromLocalFile(folders[2]),
                                   QUrl::fromLocalFile(folders[0])}));
    EXPECT_TRUE(m_chooser.requests.last().canChooseDirectories);
    EXPECT_FALSE(m_chooser.requests.last().canChooseFiles);

    model->setSharedFolderReadOnly(model->sharedFolders()[2].id, true);
    EXPECT_EQ(std::count_if(model->sharedFolders().begin(), model->sharedFolders().end(), [](const VMSharedFolder &folder) { return folder.isReadOnly; }), 1);
    EXPECT_TRUE(model->sharedFolders()[2].isReadOnly);
}

TEST_F(CreateVMWizardViewModelTest, FirstBootItemsAreFilesOrFoldersAddedOnceAndRemovedByPath)
{
    auto model = wizard();
    const QString folder = m_home.path() + QStringLiteral("/extras");
    const QString file = m_home.path() + QStringLiteral("/extras.txt");
    const QString other = m_home.path() + QStringLiteral("/other.txt");
    m_chooser.severalAnswers << QStringList{folder, file} << QStringList{file, other} << QStringList{};
    for (int press = 0; press < 3; ++press)
        waitForOutcome(model->addFirstBootAdditionalFiles()).get();
    EXPECT_EQ(model->firstBootAdditionalFiles(), (QStringList{folder, file, other}));
    EXPECT_TRUE(m_chooser.requests.last().canChooseDirectories);
    EXPECT_TRUE(m_chooser.requests.last().canChooseFiles);
    model->removeFirstBootAdditionalFiles({folder});
    // Removed already, or never listed: only the path still listed goes.
    model->removeFirstBootAdditionalFiles({other, folder, m_home.path() + QStringLiteral("/unknown")});
    EXPECT_EQ(model->firstBootAdditionalFiles(), QStringList{file});
}

TEST_F(CreateVMWizardViewModelTest, WindowsBundleCarriesItsConfigurationAndFirmwareWhenFound)
{
    isoBytes();
    const QString firmware = m_home.path() + QStringLiteral("/firmware.fd");
    write(firmware, QByteArray(4096, 'f'));
    for (const bool tpm : {true, false}) {
        SCOPED_TRACE(tpm);
        m_firmwarePlaces = tpm ? QStringList{m_home.path() + QStringLiteral("/none.fd"), firmware} : QStringList{};
        m_missingWindowsPackages = tpm ? QStringList{QStringLiteral("swtpm")} : QStringList{};
        auto model = wizard();
        model->setGuestOSType(VMGuestOSType::windows);
        model->setWindowsEnableTPM(tpm);
        waitForOutcome(model->validateWindowsImage(m_home.path() + QStringLiteral("/source.iso"))).get();
        model->createWindowsVM();
        waitForEnd(*model);
        ASSERT_TRUE(model->didFinishSuccessfully()) << model->errorMessage().value_or(QString()).toStdString();
        const VMBundle bundle = *store().bundle(*model->createdBundleID());
        EXPECT_EQ(bundle.metadata.guestOSType, VMGuestOSType::windows);
        EXPECT_EQ(bundle.metadata.guestOSDisplayName, QStringLiteral("Windows 11 ARM"));
        EXPECT_EQ(bytes(bundle.layout().windowsConfigURL()),
                  QByteArray("{\n  \"enableSecureBoot\": true,\n  \"enableTPM\": ") + (tpm ? "true" : "false")
                      + ",\n  \"isoPath\": \"WindowsInstall.iso\",\n  \"useHypervisorAcceleration\": true\n}");
        EXPECT_EQ(QFile::exists(bundle.layout().efiFirmwareURL()), tpm);
        // The overview names the image chosen, not the bundle's copy of it.
        EXPECT_EQ(bundle.metadata.installSourceSummary, QStringLiteral("Windows ISO (source.iso)"));
        // Install advice only for what this host lacks.
        EXPECT_EQ(model->installProgress().detail, tpm ? QStringLiteral("Windows VM is ready. Install QEMU (sudo apt install swtpm) then start the VM.")
                                                       : QStringLiteral("Windows VM is ready. Start it to install Windows from its ISO."));
    }
}

TEST_F(CreateVMWizardViewModelTest, ADroppedWindowsImageIsCheckedLikeAChosenOne)
{
    isoBytes();
    const QString folder = m_home.path() + QStringLiteral("/Images.iso");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString text = m_home.path() + QStringLiteral("/notes.txt");
    write(text, QByteArray(100, 't'));
    const struct {
        const char *what;
        QString path;
        bool taken;
    } cases[] = {
        {"a folder", folder, false},
        {"a file the chooser does not offer", text, false},
        {"a missing file", m_home.path() + QStringLiteral("/gone.iso"), false},
        {"an ISO", m_home.path() + QStringLiteral("/source.iso"), true},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        auto model = wizard();
        model->setGuestOSType(VMGuestOSType::windows);
        model->goToNextStep();
        waitForOutcome(model->dropWindowsImage(testCase.path)).get();
        EXPECT_EQ(model->windowsISOURL(), testCase.taken ? std::optional(testCase.path) : std::nullopt);
        EXPECT_EQ(model->windowsSourceMode(), testCase.taken ? WindowsSourceMode::local : WindowsSourceMode::download);
        // The taken image gets the same verdict a chosen one gets: this one is too small for Windows.
        ASSERT_TRUE(model->errorMessage());
        EXPECT_EQ(model->windowsISOValidation().has_value(), testCase.taken);
        if (!testCase.taken) {
            EXPECT_EQ(model->errorMessage(), QStringLiteral("Drop a Windows 11 ARM ISO or VHDX file."));
        }
    }
}

TEST_F(CreateVMWizardViewModelTest, AWindowsImageThatIsNoISOIsRefusedBeforeABundleIsMade)
{
    const QString vhdx = m_home.path() + QStringLiteral("/disk.vhdx");
    write(vhdx, QByteArray(100000, 'v'));
    auto model = wizard();
    model->setGuestOSType(VMGuestOSType::windows);
    waitForOutcome(model->validateWindowsImage(vhdx)).get();
    model->createWindowsVM();
    waitForEnd(*model);
    ASSERT_TRUE(model->errorMessage());
    EXPECT_TRUE(model->errorMessage()->contains(QStringLiteral("ISO 9660")));
    EXPECT_TRUE(store().bundles().isEmpty());
}

} // namespace

namespace {

TEST_F(CreateVMWizardViewModelTest, AFailedRestoreImageLoadIsShownAndKeepsTheOptions)
{
    auto model = wizard();
    model->setSourceMode(CreateVMWizardViewModel::SourceMode::local);
    waitForOutcome(model->loadAutomaticRestoreImagesIfNeeded()).get();
    EXPECT_FALSE(model->isLoadingAutomaticRestoreImages());
    if (!model->automaticRestoreImageOptions().isEmpty())
        GTEST_SKIP() << "the catalog answered from a source of this host";
    ASSERT_TRUE(model->errorMessage());
    EXPECT_TRUE(appLog().contains(QStringLiteral("[Wizard] ") + *model->errorMessage()));
    EXPECT_FALSE(model->selectedAutomaticRestoreImage());
    model->goToNextStep();
    model->setSourceMode(CreateVMWizardViewModel::SourceMode::automatic);
    EXPECT_EQ(model->currentStep(), Step::macOSSource);
    EXPECT_FALSE(model->canAdvance());
}

/// A restore-image feed with one regular image per build, each of its own major version, for a host that meets them all.
QByteArray restoreImageFeed(const QStringList &builds)
{
    QByteArrayList images;
    int major = 15;
    for (const QString &build : builds) {
        images << QStringLiteral(R"({"name":"macOS %1","version":"%1.1","build":"%2","channel":"regular","requirements":"r",)"
                                 R"("url":"https://cdn.example/%2.ipsw"})")
                      .arg(major--)
                      .arg(build)
                      .toUtf8();
    }
    return R"({"requirementSets":[{"id":"r","minVersionHost":"11.0"}],"restoreImages":[)" + images.join(',') + "]}";
}

TEST_F(CreateVMWizardViewModelTest, RestoreImageReloadsKeepAnOfferedSelectionAndMoveAWithdrawnOne)
{
    RestoreImageCatalogService::Options options;
    options.cacheFolder = m_home.path() + QStringLiteral("/catalog-cache");
    options.hostVersion = RestoreImageCatalogService::HostVersion{15, 2, 0};
    RestoreImageCatalogService catalog(m_logging, m_server.url(QStringLiteral("/catalog.json")), ApplicationResources(std::nullopt), options);
    QByteArray feed = restoreImageFeed({QStringLiteral("A1"), QStringLiteral("B1"), QStringLiteral("C1")});
    m_server.setResponder([&](const FakeHttpServer::Request &) { return FakeHttpServer::Response(200, feed); });
    auto model = wizard({8, 16 * gibibyte}, &catalog);
    const auto selectedBuild = [&] { return model->selectedAutomaticRestoreImage() ? model->selectedAutomaticRestoreImage()->build : QString(); };

    waitForOutcome(model->loadAutomaticRestoreImages()).get();
    ASSERT_EQ(model->automaticRestoreImageOptions().size(), 3);
    EXPECT_EQ(model->selectedAutomaticRestoreImageBuild(), QStringLiteral("A1"));

    model->setSelectedAutomaticRestoreImageBuild(QStringLiteral("B1"));
    feed = restoreImageFeed({QStringLiteral("A2"), QStringLiteral("B1")});
    waitForOutcome(model->loadAutomaticRestoreImages()).get();
    EXPECT_EQ(model->selectedAutomaticRestoreImageBuild(), QStringLiteral("B1"));
    EXPECT_EQ(selectedBuild(), QStringLiteral("B1"));

    feed = restoreImageFeed({QStringLiteral("A3"), QStringLiteral("C3")});
    waitForOutcome(model->loadAutomaticRestoreImages()).get();
    EXPECT_EQ(model->selectedAutomaticRestoreImageBuild(), QStringLiteral("A3"));
    EXPECT_EQ(selectedBuild(), QStringLiteral("A3"));
    EXPECT_FALSE(model->errorMessage());
}

TEST_F(CreateVMWizardViewModelTest, ATooSmallWindowsImageHoldsTheStepUntilAUsableOneIsChosen)
{
    isoBytes();
    auto model = wizard();
    model->setGuestOSType(VMGuestOSType::windows);
    model->goToNextStep();
    ASSERT_EQ(model->currentStep(), Step::windowsSource);

    waitForOutcome(model->validateWindowsImage(m_home.path() + QStringLiteral("/source.iso"))).get();
    EXPECT_EQ(model->errorMessage(), QStringLiteral("This file is too small to be a Windows ISO (minimum ~4 GB expected)."));
    EXPECT_FALSE(model->canAdvance());

    // The same image grown sparsely past the minimum: an ISO whose files name no processor, taken as ARM by its name.
    const QString large = m_home.path() + QStringLiteral("/Win11_ARM64.iso");
    ASSERT_TRUE(QFile::copy(m_home.path() + QStringLiteral("/source.iso"), large));
    ASSERT_TRUE(QFile::resize(large, qint64(4) << 30));
    waitForOutcome(model->validateWindowsImage(large)).get();
    EXPECT_FALSE(model->errorMessage()) << model->errorMessage().value_or(QString()).toStdString();
    EXPECT_TRUE(model->canAdvance());
}

TEST_F(CreateVMWizardViewModelTest, AWindowsVerdictBelongsToItsFileAndTheStepWaitsForTheCheck)
{
    const QString first = largeImage(QStringLiteral("Win11_ARM64.iso"));
    const QString second = largeImage(QStringLiteral("Win11_ARM64_24H2.iso"));
    const QString small = m_home.path() + QStringLiteral("/source.iso");
    auto model = wizard();
    model->setGuestOSType(VMGuestOSType::windows);
    model->goToNextStep();
    ASSERT_EQ(model->currentStep(), Step::windowsSource);

    waitForOutcome(model->validateWindowsImage(small)).get();
    ASSERT_TRUE(model->errorMessage());
    waitForOutcome(model->validateWindowsImage(first)).get();
    ASSERT_TRUE(model->canAdvance());

    // While the second file is read, neither the first file's verdict nor its Next stays.
    BusyThreadPool busy; // the read waits until the state while checking was looked at
    QCoro::Task<> checking = model->validateWindowsImage(second);
    EXPECT_TRUE(model->isCheckingWindowsImage());
    EXPECT_FALSE(model->windowsISOValidation());
    EXPECT_FALSE(model->canAdvance());
    busy.release();
    waitForOutcome(std::move(checking)).get();
    EXPECT_FALSE(model->isCheckingWindowsImage());
    ASSERT_TRUE(model->windowsISOValidation());
    EXPECT_EQ(model->windowsISOValidation()->fileName, QStringLiteral("Win11_ARM64_24H2.iso"));
    EXPECT_TRUE(model->canAdvance());

    // A small file's refusal and its banner go once a usable file is chosen, and an earlier check answering late changes nothing.
    waitForOutcome(model->validateWindowsImage(small)).get();
    ASSERT_TRUE(model->errorMessage());
    QCoro::Task<> late = model->validateWindowsImage(first);
    EXPECT_FALSE(model->errorMessage());
    QCoro::Task<> current = model->validateWindowsImage(small);
    waitForOutcome(std::move(late)).get();
    waitForOutcome(std::move(current)).get();
    ASSERT_TRUE(model->windowsISOValidation());
    EXPECT_EQ(model->windowsISOValidation()->status, WindowsISOValidation::Status::tooSmall);
    EXPECT_FALSE(model->canAdvance());
}

TEST_F(CreateVMWizardViewModelTest, WindowsPreflightRowsFollowImageMemoryAndDisk)
{
    auto wizard = this->wizard();
    wizard->setGuestOSType(VMGuestOSType::windows);
    using Row = WindowsSourceViewModel::PreflightRow;
    const auto text = [](const char *latin) { return QString::fromLatin1(latin); };
    EXPECT_EQ(WindowsSourceViewModel::preflightRows(*wizard, false),
              (QList<Row>{{text("QEMU engine"), false, text("Not installed")},
                          {text("Windows 11 ARM ISO"), false, text("Not selected")},
                          {text("ARM64 architecture"), true, text("Awaiting ISO")},
                          {text("Minimum 4 GB RAM"), true, text("8 GB")},
                          {text("Minimum 64 GB disk"), true, text("64 GB")}}));
    EXPECT_TRUE(WindowsSourceViewModel::offersImageChoice(*wizard));
    wizard->setMemorySizeGB(3.9);
    wizard->setDiskSizeGB(32);
    // The checklist's minimums are the ones Next and Create hold to.
    EXPECT_EQ(wizard->advanceBlockReason(), QStringLiteral("Windows needs at least 4 GB of memory."));
    wizard->setMemorySizeGB(4);
    EXPECT_EQ(wizard->advanceBlockReason(), QStringLiteral("Windows needs a disk of at least 64 GB."));
    wizard->goToNextStep();
    wizard->goToNextStep();
    ASSERT_EQ(wizard->currentStep(), Step::review);
    EXPECT_FALSE(wizard->canAdvance()) << "Create waits for the disk the checklist asks";
    wizard->setMemorySizeGB(3.9);

    struct Case {
        QString image;
        Row iso;
        Row architecture;
        bool offersChoice;
    };
    const QList<Case> cases{
        {m_home.path() + QStringLiteral("/source.iso"), {text("Windows 11 ARM ISO"), false, text("Not usable")},
         {text("ARM64 architecture"), false, text("Not verified")}, true},
        {largeImage(QStringLiteral("Win11_x64.iso")), {text("Windows 11 ARM ISO"), false, text("Not usable")},
         {text("ARM64 architecture"), false, text("x86_64 (Intel/AMD)")}, true},
        {largeImage(QStringLiteral("Win11_ARM64.iso")), {text("Windows 11 ARM ISO"), true, text("Selected")},
         {text("ARM64 architecture"), true, text("Verified")}, false},
    };
    {
        BusyThreadPool busy; // the image is read only once the checklist while checking was looked at
        QCoro::Task<> checking = wizard->validateWindowsImage(cases.last().image);
        const QList<Row> whileChecking = WindowsSourceViewModel::preflightRows(*wizard, true);
        EXPECT_EQ(whileChecking[1], (Row{text("Windows 11 ARM ISO"), false, text("Checking...")}));
        EXPECT_EQ(whileChecking[2], (Row{text("ARM64 architecture"), false, text("Checking...")}));
        busy.release();
        waitForOutcome(std::move(checking)).get();
    }
    for (const Case &c : cases) {
        SCOPED_TRACE(c.image.toStdString());
        waitForOutcome(wizard->validateWindowsImage(c.image)).get();
        const QList<Row> rows = WindowsSourceViewModel::preflightRows(*wizard, true);
        EXPECT_EQ(rows[0], (Row{text("QEMU engine"), true, text("Installed")}));
        EXPECT_EQ(rows[1], c.iso);
        EXPECT_EQ(rows[2], c.architecture);
        EXPECT_EQ(rows[3], (Row{text("Minimum 4 GB RAM"), false, text("3 GB")}));
        EXPECT_EQ(rows[4], (Row{text("Minimum 64 GB disk"), false, text("32 GB")}));
        EXPECT_EQ(WindowsSourceViewModel::offersImageChoice(*wizard), c.offersChoice);
    }
}

TEST_F(CreateVMWizardViewModelTest, AWindowsImageChosenByHandIsShownAsTheExistingImageItIs)
{
    auto model = wizard();
    model->setGuestOSType(VMGuestOSType::windows);
    model->goToNextStep();
    WindowsSourceViewModel &windows = model->windowsSource();
    EXPECT_FALSE(windows.scanReport()) << "nothing was looked for yet";
    EXPECT_TRUE(windows.showsNoImagesHint(*model));

    // A scan says where it looked and what it found, also when that is nothing.
    QDir().mkpath(m_home.path() + QStringLiteral("/Downloads"));
    windows.scanForImages();
    ASSERT_TRUE(waitUntil([&] { return !windows.isScanning(); }));
    EXPECT_EQ(windows.scanReport(), QStringLiteral("Looked in %1/Downloads: no Windows ISOs found.").arg(m_home.path()));

    // A cancelled choice changes nothing.
    waitForOutcome(model->chooseWindowsImage()).get();
    EXPECT_EQ(model->windowsSourceMode(), WindowsSourceMode::download);
    EXPECT_FALSE(model->windowsISOURL());

    const QString image = largeImage(QStringLiteral("Win11_ARM64.iso"));
    m_chooser.answers << image;
    waitForOutcome(model->chooseWindowsImage()).get();
    EXPECT_EQ(model->windowsISOURL(), image);
    EXPECT_EQ(model->windowsSourceMode(), WindowsSourceMode::local) << "the mode that shows the chosen file and offers another";
    EXPECT_FALSE(windows.showsNoImagesHint(*model)) << "no hint that nothing was found beside the chosen image";
    model->setWindowsSourceMode(WindowsSourceMode::download);
    EXPECT_FALSE(windows.showsNoImagesHint(*model));
}

TEST_F(CreateVMWizardViewModelTest, AFailureThatEscapedACommandReachesTheBanner)
{
    auto model = wizard();
    const std::function<void(const QString &)> report = model->failureReport();
    report(QStringLiteral("The file chooser could not open."));
    EXPECT_EQ(model->errorMessage(), QStringLiteral("The file chooser could not open."));
    model->clearErrorMessage();
    EXPECT_FALSE(model->errorMessage());
}

TEST_F(CreateVMWizardViewModelTest, TheWindowsSourceFollowsTheQEMUInstallationAndKeepsItsFailure)
{
    m_server.setResponder([](const FakeHttpServer::Request &) { return FakeHttpServer::Response(404, "no"); });
    auto model = wizard();
    WindowsSourceViewModel &windows = model->windowsSource();
    QSignalSpy changes(&windows, &WindowsSourceViewModel::changed);
    EXPECT_FALSE(windows.isQEMUInstalled());
    EXPECT_TRUE(windows.canInstallQEMUHere());
    EXPECT_FALSE(windows.qemuInstallFailure());
    waitForOutcome(windows.installQEMU()).get();
    EXPECT_FALSE(windows.isInstallingQEMU());
    EXPECT_TRUE(windows.qemuStatusMessage().startsWith(QStringLiteral("Failed: ")));
    EXPECT_EQ(windows.qemuInstallFailure(), windows.qemuStatusMessage());
    EXPECT_GE(windows.qemuInstallFraction(), 0.0);
    EXPECT_LE(windows.qemuInstallFraction(), 1.0);
    EXPECT_FALSE(changes.isEmpty());
}

} // namespace
