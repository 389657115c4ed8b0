// SPDX-License-Identifier: MIT
#include "QEMUEngine.h"

#include "HostProfile.h"
#include "JSONCoding.h"
#include "LoggingService.h"
#include "QtPrinters.h"
#include "QEMUExecutor.h"
#include "TemporaryHome.h"
#include "TestBundle.h"
#include "VMWindowsConfiguration.h"
#include "VirtualMachineError.h"
#include "VirtualMachineErrorExpectation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <gtest/gtest.h>

#include <optional>

namespace {

constexpr quint64 gibibyte = quint64(1) << 30;
const QString downloadedQEMUSuffix = QStringLiteral("/QEMU/bin/qemu-system-aarch64");
const QString optHomebrewQEMU = QStringLiteral("/opt/homebrew/bin/qemu-system-aarch64");
const QString usrLocalQEMU = QStringLiteral("/usr/local/bin/qemu-system-aarch64");
const QString debianQEMU = QStringLiteral("/usr/bin/qemu-system-aarch64");
const QString optHomebrewFirmware = QStringLiteral("/opt/homebrew/share/qemu/edk2-aarch64-code.fd");
const QString usrLocalFirmware = QStringLiteral("/usr/local/share/qemu/edk2-aarch64-code.fd");
const QString debianFirmware = QStringLiteral("/usr/share/qemu-efi-aarch64/QEMU_EFI.fd");
const QString debianFlashFirmware = QStringLiteral("/usr/share/AAVMF/AAVMF_CODE.fd");

/// The host the engine was first written for: Apple's hypervisor, Core Audio, Homebrew.
QEMUEngineProfile macProfile()
{
    QEMUEngineProfile profile;
    profile.acceleratorName = QStringLiteral("hvf");
    profile.cpuModel = QStringLiteral("host");
    profile.audioDriver = QStringLiteral("coreaudio");
    profile.tpmEmulatorPlaces = {QStringLiteral("/opt/homebrew/bin/swtpm")};
    profile.qemuMissingAdvice = QStringLiteral("QEMU is not installed. Install it with: brew install qemu");
    profile.tpmEmulatorMissingAdvice = QStringLiteral("The TPM emulator swtpm is not installed. Install it with: brew install swtpm");
    profile.runtimeDirectory = QStringLiteral("/Users/me/Library/Caches/zovozu");
    return profile;
}

/// This kind of host, described rather than detected so the test is the same everywhere.
QEMUEngineProfile linuxProfile(HostProfile::Accelerator accelerator = HostProfile::Accelerator::tcg, const QString &audio = QStringLiteral("alsa"))
{
    HostProfile host;
    host.accelerator = accelerator;
    host.audioDriver = audio;
    host.runtimeDirectory = QStringLiteral("/run/user/1000/zovozu");
    return QEMUEngineProfile::forHost(host);
}

/// A Windows bundle in a temporary folder; files outside it exist when listed in `hostFiles`.
class QEMUEngineTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(m_bundle.bundleURL)); }

    QEMUEngineTest()
    {
        m_bundle = TestBundle(m_home.path() + QStringLiteral("/Win11.vm"))
                       .id(QUuid(QStringLiteral("{0b5c3f52-7a3e-4b8e-9d55-3c1a2f4e6d70}")))
                       .guest(VMGuestOSType::windows)
                       .cpus(4)
                       .memory(8 * gibibyte);
    }

    QEMUEngine engine(const QEMUEngineProfile &profile) const
    {
        // The disk answers only inside the test's own folder; the host's places exist when listed.
        return QEMUEngine(m_logging, profile, [this](const QString &path) {
            return hostFiles.contains(path) || (path.startsWith(m_home.path() + QLatin1Char('/')) && QFileInfo(path).isFile());
        });
    }

    QString inBundle(const QString &name) const { return m_bundle.bundleURL + QLatin1Char('/') + name; }
    void createInBundle(const QString &name, const QByteArray &content = {}) const
    {
        QFile file(inBundle(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    void writeWindowsConfiguration(bool enableTPM) const
    {
        VMWindowsConfiguration configuration;
        configuration.isoPath = QStringLiteral("WindowsInstall.iso");
        configuration.enableTPM = enableTPM;
        configuration.enableSecureBoot = true;
        configuration.useHypervisorAcceleration = true;
        createInBundle(QStringLiteral("WindowsConfig.json"), sharedJSONEncoder().encode(configuration));
    }
    QString downloadedQEMU() const { return m_home.applicationData() + downloadedQEMUSuffix; }

    /// The option values that follow each occurrence of `option`.
    static QStringList valuesOf(const QStringList &arguments, const QString &option)
    {
        QStringList values;
        for (qsizetype index = 0; index + 1 < arguments.size(); ++index) {
            if (arguments[index] == option)
                values << arguments[index + 1];
        }
        return values;
    }

    TemporaryHome m_home;
    LoggingService m_logging;
    VMBundle m_bundle;
    QSet<QString> hostFiles;
};

TEST_F(QEMUEngineTest, BuildsTheWholeCommandLineInOrderOnTheOriginalHost)
{
    for (const QString &name : {QStringLiteral("QEMU_EFI.fd"), QStringLiteral("Disk.img"), QStringLiteral("WindowsInstall.iso"), QStringLiteral("virtio-win.iso")})
        createInBundle(name);
    const QString bundle = m_bundle.bundleURL;

    EXPECT_EQ(engine(macProfile()).buildArguments(m_bundle),
              (QStringList{QStringLiteral("-machine"), QStringLiteral("virt,accel=hvf,highmem=on"),
                           QStringLiteral("-cpu"), QStringLiteral("host"),
                           QStringLiteral("-smp"), QStringLiteral("4"),
                           QStringLiteral("-m"), QStringLiteral("8192M"),
                           QStringLiteral("-bios"), bundle + QStringLiteral("/QEMU_EFI.fd"),
                           QStringLiteral("-device"), QStringLiteral("ramfb"),
                           QStringLiteral("-device"), QStringLiteral("qemu-xhci"),
                           QStringLiteral("-device"), QStringLiteral("usb-kbd"),
                           QStringLiteral("-device"), QStringLiteral("usb-tablet"),
                           QStringLiteral("-drive"), QStringLiteral("file=") + bundle + QStringLiteral("/Disk.img,if=virtio,format=raw,cache=writethrough"),
                           QStringLiteral("-cdrom"), bundle + QStringLiteral("/WindowsInstall.iso"),
                           QStringLiteral("-boot"), QStringLiteral("d"),
                           QStringLiteral("-drive"), QStringLiteral("file=") + bundle + QStringLiteral("/virtio-win.iso,media=cdrom,index=1"),
                           QStringLiteral("-device"), QStringLiteral("virtio-net-pci,netdev=net0"),
                           QStringLiteral("-netdev"), QStringLiteral("user,id=net0"),
                           QStringLiteral("-chardev"), QStringLiteral("socket,id=chrtpm,path=tpm.sock"),
                           QStringLiteral("-tpmdev"), QStringLiteral("emulator,id=tpm0,chardev=chrtpm"),
                           QStringLiteral("-device"), QStringLiteral("tpm-tis-device,tpmdev=tpm0"),
                           QStringLiteral("-audiodev"), QStringLiteral("coreaudio,id=audio0"),
                           QStringLiteral("-device"), QStringLiteral("intel-hda"),
                           QStringLiteral("-device"), QStringLiteral("hda-output,audiodev=audio0"),
                           QStringLiteral("-vnc"), QStringLiteral("unix:/Users/me/Library/Caches/zovozu/0B5C3F52-7A3E-4B8E-9D55-3C1A2F4E6D70/vnc.sock"),
                           QStringLiteral("-monitor"), QStringLiteral("unix:qemu-monitor.sock,server,nowait"),
                           QStringLiteral("-nographic")}));
}

TEST_F(QEMUEngineTest, ThisHostSubstitutesAcceleratorCPUAudioAndFirmware)
{
    hostFiles = {debianFirmware, debianFlashFirmware};
    EXPECT_EQ(engine(linuxProfile()).buildArguments(m_bundle),
              (QStringList{QStringLiteral("-machine"), QStringLiteral("virt,accel=tcg,highmem=on"),
                           QStringLiteral("-cpu"), QStringLiteral("max"),
                           QStringLiteral("-smp"), QStringLiteral("4"),
                           QStringLiteral("-m"), QStringLiteral("8192M"),
                           QStringLiteral("-bios"), debianFirmware,
                           QStringLiteral("-device"), QStringLiteral("ramfb"),
                           QStringLiteral("-device"), QStringLiteral("qemu-xhci"),
                           QStringLiteral("-device"), QStringLiteral("usb-kbd"),
                           QStringLiteral("-device"), QStringLiteral("usb-tablet"),
                           QStringLiteral("-device"), QStringLiteral("virtio-net-pci,netdev=net0"),
                           QStringLiteral("-netdev"), QStringLiteral("user,id=net0"),
                           QStringLiteral("-chardev"), QStringLiteral("socket,id=chrtpm,path=tpm.sock"),
                           QStringLiteral("-tpmdev"), QStringLiteral("emulator,id=tpm0,chardev=chrtpm"),
                           QStringLiteral("-device"), QStringLiteral("tpm-tis-device,tpmdev=tpm0"),
                           QStringLiteral("-audiodev"), QStringLiteral("alsa,id=audio0"),
                           QStringLiteral("-device"), QStringLiteral("intel-hda"),
                           QStringLiteral("-device"), QStringLiteral("hda-output,audiodev=audio0"),
                           QStringLiteral("-vnc"), QStringLiteral("unix:/run/user/1000/zovozu/0B5C3F52-7A3E-4B8E-9D55-3C1A2F4E6D70/vnc.sock"),
                           QStringLiteral("-monitor"), QStringLiteral("unix:qemu-monitor.sock,server,nowait"),
                           QStringLiteral("-nographic")}));

    const struct {
        HostProfile::Accelerator accelerator;
        QString audio;
        QString machine;
        QString cpu;
    } hosts[] = {
        {HostProfile::Accelerator::kvm, QStringLiteral("pa"), QStringLiteral("virt,accel=kvm,highmem=on"), QStringLiteral("host")},
        {HostProfile::Accelerator::tcg, QStringLiteral("none"), QStringLiteral("virt,accel=tcg,highmem=on"), QStringLiteral("max")},
    };
    for (const auto &host : hosts) {
        const QStringList arguments = engine(linuxProfile(host.accelerator, host.audio)).buildArguments(m_bundle);
        EXPECT_EQ(valuesOf(arguments, QStringLiteral("-machine")), QStringList{host.machine});
        EXPECT_EQ(valuesOf(arguments, QStringLiteral("-cpu")), QStringList{host.cpu});
        EXPECT_EQ(valuesOf(arguments, QStringLiteral("-audiodev")), QStringList{host.audio + QStringLiteral(",id=audio0")});
    }
}

TEST_F(QEMUEngineTest, ThisHostsProfileAddsDebiansPlacesAndAdvice)
{
    const QEMUEngineProfile profile = linuxProfile();
    EXPECT_EQ(profile.extraProgramPlaces, QStringList{debianQEMU});
    EXPECT_EQ(profile.extraFirmwarePlaces, (QStringList{debianFirmware, debianFlashFirmware}));
    EXPECT_EQ(profile.tpmEmulatorPlaces, QStringList{QStringLiteral("/usr/bin/swtpm")});
    EXPECT_EQ(profile.qemuMissingAdvice,
              QStringLiteral("QEMU is not installed. Install it with: sudo apt install qemu-system-arm qemu-efi-aarch64 swtpm"));
    EXPECT_EQ(profile.tpmEmulatorMissingAdvice,
              QStringLiteral("The TPM emulator swtpm is not installed. Install it with: sudo apt install qemu-system-arm qemu-efi-aarch64 swtpm"));
    EXPECT_EQ(engine(profile).engineType(), VMEngineType::qemu);
}

TEST_F(QEMUEngineTest, FindsTheProgramInItsOrder)
{
    const struct {
        QStringList present;
        std::optional<QString> original;
        std::optional<QString> linux;
    } cases[] = {
        {{downloadedQEMUSuffix, optHomebrewQEMU, usrLocalQEMU, debianQEMU}, downloadedQEMUSuffix, downloadedQEMUSuffix},
        {{optHomebrewQEMU, usrLocalQEMU, debianQEMU}, optHomebrewQEMU, optHomebrewQEMU},
        {{usrLocalQEMU, debianQEMU}, usrLocalQEMU, usrLocalQEMU},
        {{debianQEMU}, std::nullopt, debianQEMU},
        {{}, std::nullopt, std::nullopt},
    };
    const auto resolved = [this](const QString &place) { return place == downloadedQEMUSuffix ? downloadedQEMU() : place; };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.present.join(QLatin1Char(' ')).toStdString());
        hostFiles.clear();
        for (const QString &place : testCase.present)
            hostFiles.insert(resolved(place));
        EXPECT_EQ(engine(macProfile()).locateQEMUBinary(), testCase.original ? std::optional(resolved(*testCase.original)) : std::nullopt);
        EXPECT_EQ(engine(linuxProfile()).locateQEMUBinary(), testCase.linux ? std::optional(resolved(*testCase.linux)) : std::nullopt);
    }
}

TEST_F(QEMUEngineTest, FindsTheFirmwareInItsOrderOrPassesNone)
{
    const QString inBundleFirmware = QStringLiteral("bundle");
    const struct {
        QStringList present;
        std::optional<QString> original;
        std::optional<QString> linux;
    } cases[] = {
        {{inBundleFirmware, optHomebrewFirmware, usrLocalFirmware, debianFirmware}, inBundleFirmware, inBundleFirmware},
        {{optHomebrewFirmware, usrLocalFirmware, debianFirmware}, optHomebrewFirmware, optHomebrewFirmware},
        {{usrLocalFirmware, debianFirmware}, usrLocalFirmware, usrLocalFirmware},
        {{debianFirmware, debianFlashFirmware}, std::nullopt, debianFirmware},
        {{debianFlashFirmware}, std::nullopt, debianFlashFirmware},
        {{}, std::nullopt, std::nullopt},
    };
    const auto resolved = [&](const QString &place) { return place == inBundleFirmware ? inBundle(QStringLiteral("QEMU_EFI.fd")) : place; };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.present.join(QLatin1Char(' ')).toStdString());
        hostFiles.clear();
        for (const QString &place : testCase.present)
            hostFiles.insert(resolved(place));
        for (const auto &[profile, expected] : {std::pair{macProfile(), testCase.original}, std::pair{linuxProfile(), testCase.linux}}) {
            const QEMUEngine tested = engine(profile);
            EXPECT_EQ(tested.locateFirmware(m_bundle), expected ? std::optional(resolved(*expected)) : std::nullopt);
            EXPECT_EQ(valuesOf(tested.buildArguments(m_bundle), QStringLiteral("-bios")), expected ? QStringList{resolved(*expected)} : QStringList{});
        }
    }
}

TEST_F(QEMUEngineTest, NamesOnlyThePackagesWhoseProgramsItFindsNowhere)
{
    const QString debianTPM = QStringLiteral("/usr/bin/swtpm");
    const struct {
        QStringList present;
        QStringList missing;
    } cases[] = {
        {{debianQEMU, debianFirmware, debianTPM}, {}},
        {{usrLocalQEMU, debianFlashFirmware, debianTPM}, {}},
        {{debianQEMU, debianFirmware}, {QStringLiteral("swtpm")}},
        {{debianTPM}, {QStringLiteral("qemu-system-arm"), QStringLiteral("qemu-efi-aarch64")}},
        {{}, {QStringLiteral("qemu-system-arm"), QStringLiteral("qemu-efi-aarch64"), QStringLiteral("swtpm")}},
    };
    // A bundle's own firmware is no host package.
    createInBundle(QStringLiteral("QEMU_EFI.fd"));
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.present.join(QLatin1Char(' ')).toStdString());
        hostFiles = QSet<QString>(testCase.present.cbegin(), testCase.present.cend());
        EXPECT_EQ(engine(linuxProfile()).missingHostPackages(), testCase.missing);
    }
}

TEST_F(QEMUEngineTest, TheTPMIsOnUnlessAReadableConfigurationTurnsItOff)
{
    const QString configuration = QStringLiteral("WindowsConfig.json");
    const struct {
        const char *what;
        std::function<void()> prepare;
        bool tpm;
    } cases[] = {
        {"no configuration", [] {}, true},
        {"TPM off", [&] { writeWindowsConfiguration(false); }, false},
        {"TPM on", [&] { writeWindowsConfiguration(true); }, true},
        {"invalid JSON", [&] { createInBundle(configuration, "{ not json"); }, true},
        {"a required key missing", [&] { createInBundle(configuration, R"({"enableTPM": false})"); }, true},
        {"a folder in its place", [&] { QDir().mkpath(inBundle(configuration)); }, true},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        QFile::remove(inBundle(configuration));
        QDir(inBundle(configuration)).removeRecursively();
        testCase.prepare();
        const QStringList arguments = engine(macProfile()).buildArguments(m_bundle);
        EXPECT_EQ(valuesOf(arguments, QStringLiteral("-tpmdev")),
                  testCase.tpm ? QStringList{QStringLiteral("emulator,id=tpm0,chardev=chrtpm")} : QStringList{});
        EXPECT_EQ(arguments.contains(QStringLiteral("socket,id=chrtpm,path=tpm.sock")), testCase.tpm);
        EXPECT_EQ(arguments.contains(QStringLiteral("tpm-tis-device,tpmdev=tpm0")), testCase.tpm);
    }
}

TEST_F(QEMUEngineTest, MemoryAndAudioFollowTheMetadata)
{
    for (const auto &[bytes, megabytes] : {std::pair{quint64(8589934592), "8192M"}, std::pair{quint64(8590000000), "8192M"}}) {
        m_bundle.metadata.hardwareProfile.memorySizeBytes = bytes;
        EXPECT_EQ(valuesOf(engine(macProfile()).buildArguments(m_bundle), QStringLiteral("-m")), QStringList{QString::fromLatin1(megabytes)});
    }

    // The guest can record only when the microphone is switched on.
    const struct {
        std::optional<VMMediaConfiguration> media;
        bool audio;
        const char *codec;
    } cases[] = {
        {std::nullopt, true, "hda-output,audiodev=audio0"},
        {VMMediaConfiguration{false, true}, true, "hda-output,audiodev=audio0"},
        {VMMediaConfiguration{true, true}, true, "hda-duplex,audiodev=audio0"},
        {VMMediaConfiguration{true, false}, false, nullptr},
        {VMMediaConfiguration{false, false}, false, nullptr},
    };
    for (const auto &testCase : cases) {
        m_bundle.metadata.mediaConfiguration = testCase.media;
        const QStringList arguments = engine(macProfile()).buildArguments(m_bundle);
        EXPECT_EQ(valuesOf(arguments, QStringLiteral("-audiodev")), testCase.audio ? QStringList{QStringLiteral("coreaudio,id=audio0")} : QStringList{});
        EXPECT_EQ(arguments.contains(QStringLiteral("intel-hda")), testCase.audio);
        const QStringList codecs = arguments.filter(QStringLiteral("hda-"));
        EXPECT_EQ(codecs, testCase.codec ? QStringList{QString::fromLatin1(testCase.codec)} : QStringList{});
    }
}

TEST_F(QEMUEngineTest, CommasInPathsAreDoubledWhereQEMUSplitsOnThem)
{
    m_bundle.bundleURL = m_home.path() + QStringLiteral("/Work, Play.vm");
    ASSERT_TRUE(QDir().mkpath(m_bundle.bundleURL));
    for (const QString &name : {QStringLiteral("QEMU_EFI.fd"), QStringLiteral("Disk.img"), QStringLiteral("WindowsInstall.iso"), QStringLiteral("virtio-win.iso")})
        createInBundle(name);
    QEMUEngineProfile profile = linuxProfile();
    profile.runtimeDirectory = QStringLiteral("/run/a,b");
    const QString doubled = m_home.path() + QStringLiteral("/Work,, Play.vm");

    const QStringList arguments = engine(profile).buildArguments(m_bundle);
    EXPECT_EQ(valuesOf(arguments, QStringLiteral("-drive")),
              (QStringList{QStringLiteral("file=") + doubled + QStringLiteral("/Disk.img,if=virtio,format=raw,cache=writethrough"),
                           QStringLiteral("file=") + doubled + QStringLiteral("/virtio-win.iso,media=cdrom,index=1")}));
    EXPECT_EQ(valuesOf(arguments, QStringLiteral("-vnc")),
              QStringList{QStringLiteral("unix:/run/a,,b/0B5C3F52-7A3E-4B8E-9D55-3C1A2F4E6D70/vnc.sock")});
    // Plain file names and the sockets relative to the bundle need no doubling.
    EXPECT_EQ(valuesOf(arguments, QStringLiteral("-bios")), QStringList{inBundle(QStringLiteral("QEMU_EFI.fd"))});
    EXPECT_EQ(valuesOf(arguments, QStringLiteral("-cdrom")), QStringList{inBundle(QStringLiteral("WindowsInstall.iso"))});
    EXPECT_EQ(valuesOf(arguments, QStringLiteral("-chardev")), QStringList{QStringLiteral("socket,id=chrtpm,path=tpm.sock")});
    EXPECT_EQ(valuesOf(arguments, QStringLiteral("-monitor")), QStringList{QStringLiteral("unix:qemu-monitor.sock,server,nowait")});
}

TEST_F(QEMUEngineTest, MakesAStoppedExecutorOrSaysWhatToInstall)
{
    for (const QEMUEngineProfile &profile : {macProfile(), linuxProfile()}) {
        SCOPED_TRACE(profile.audioDriver.toStdString());
        hostFiles.clear();
        const VirtualMachineError withoutQEMU = thrownVirtualMachineError([&] { engine(profile).makeExecutor(m_bundle); });
        EXPECT_EQ(withoutQEMU.errorCase(), VirtualMachineError::Case::runtimeError);
        EXPECT_EQ(withoutQEMU.detail(), profile.qemuMissingAdvice);

        hostFiles = {usrLocalQEMU};
        const VirtualMachineError withoutSwtpm = thrownVirtualMachineError([&] { engine(profile).makeExecutor(m_bundle); });
        EXPECT_EQ(withoutSwtpm.errorCase(), VirtualMachineError::Case::runtimeError);
        EXPECT_EQ(withoutSwtpm.detail(), profile.tpmEmulatorMissingAdvice);

        hostFiles.insert(profile.tpmEmulatorPlaces.first());
        const QEMUEngine tested = engine(profile);
        const std::unique_ptr<QEMUExecutor> executor = tested.makeExecutor(m_bundle);
        EXPECT_EQ(executor->runtimeState(), VMRuntimeState::stopped);
        EXPECT_EQ(executor->qemuPath(), usrLocalQEMU);
        EXPECT_EQ(executor->arguments(), tested.buildArguments(m_bundle));
        EXPECT_EQ(executor->bundle(), m_bundle);
        EXPECT_EQ(executor->companions().tpmEmulatorProgram, profile.tpmEmulatorPlaces.first());
        EXPECT_EQ(executor->companions().runtimeFolder, tested.runtimeFolder(m_bundle));
        EXPECT_FALSE(executor->processIdentifier());
        EXPECT_FALSE(executor->onStateChanged || executor->onStopped || executor->onError);
    }

    // A machine without a TPM needs no swtpm.
    writeWindowsConfiguration(false);
    hostFiles = {usrLocalQEMU};
    EXPECT_EQ(engine(linuxProfile()).makeExecutor(m_bundle)->companions().tpmEmulatorProgram, std::nullopt);

    // A display socket QEMU could not bind is refused before anything starts.
    QEMUEngineProfile deep = linuxProfile();
    deep.runtimeDirectory = QStringLiteral("/run/") + QString(80, QLatin1Char('d'));
    EXPECT_THROW(engine(deep).makeExecutor(m_bundle), VirtualMachineError);
}

} // namespace
