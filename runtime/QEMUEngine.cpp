// SPDX-License-Identifier: MIT
#include "QEMUEngine.h"

#include "FileOperations.h"
#include "HostInstallAdvice.h"
#include "HostProfile.h"
#include "JSONCoding.h"
#include "QEMUExecutor.h"
#include "QEMUSetupService.h"
#include "QemuCommandLine.h"
#include "VMWindowsConfiguration.h"
#include "VirtualMachineError.h"

#include <QFile>
#include <QFileInfo>

namespace {

QString escaped(const QString &path)
{
    return QemuCommandLine::escapedOptionValue(path);
}

} // namespace

QEMUEngine::QEMUEngine(const LoggingService &loggingService)
    : QEMUEngine(loggingService, QEMUEngineProfile::forHost(HostProfile::detect()))
{
}

QEMUEngine::QEMUEngine(const LoggingService &loggingService, QEMUEngineProfile profile, FileExists fileExists)
    : m_logging(loggingService)
    , m_profile(std::move(profile))
    , m_fileExists(fileExists ? std::move(fileExists) : FileExists([](const QString &path) { return QFileInfo(path).isFile(); }))
{
}

std::unique_ptr<QEMUExecutor> QEMUEngine::makeExecutor(const VMBundle &bundle) const
{
    const std::optional<QString> program = locateQEMUBinary();
    if (!program || !m_fileExists(*program))
        throw VirtualMachineError(VirtualMachineError::Case::runtimeError, m_profile.qemuMissingAdvice);

    QEMUExecutor::Companions companions;
    companions.runtimeFolder = runtimeFolder(bundle);
    const QString displaySocket = companions.runtimeFolder + QLatin1Char('/') + displaySocketName.toString();
    if (QFile::encodeName(displaySocket).size() > maximumSocketPathLength)
        throw VirtualMachineError(VirtualMachineError::Case::runtimeError,
                                  QStringLiteral("The display socket path is too long for this system: ") + displaySocket);
    if (usesTPM(bundle)) {
        companions.tpmEmulatorProgram = locateTPMEmulator();
        if (!companions.tpmEmulatorProgram)
            throw VirtualMachineError(VirtualMachineError::Case::runtimeError, m_profile.tpmEmulatorMissingAdvice);
    }
    return std::make_unique<QEMUExecutor>(*program, buildArguments(bundle), bundle, m_logging, companions);
}

std::optional<QString> QEMUEngine::locateQEMUBinary() const
{
    QStringList places{QEMUSetupService::defaultInstallDirectory() + QStringLiteral("/bin/") + programName.toString(),
                       QStringLiteral("/opt/homebrew/bin/qemu-system-aarch64"), QStringLiteral("/usr/local/bin/qemu-system-aarch64")};
    return firstExisting(places + m_profile.extraProgramPlaces);
}

std::optional<QString> QEMUEngine::locateFirmware(const VMBundle &bundle) const
{
    return firstExisting(QStringList{bundle.layout().efiFirmwareURL()} + hostFirmwarePlaces());
}

QStringList QEMUEngine::hostFirmwarePlaces() const
{
    return QStringList{QStringLiteral("/opt/homebrew/share/qemu/edk2-aarch64-code.fd"), QStringLiteral("/usr/local/share/qemu/edk2-aarch64-code.fd")}
        + m_profile.extraFirmwarePlaces;
}

std::optional<QString> QEMUEngine::locateTPMEmulator() const
{
    return firstExisting(m_profile.tpmEmulatorPlaces);
}

bool QEMUEngine::usesTPM(const VMBundle &bundle) const
{
    const QString path = bundle.layout().windowsConfigURL();
    if (!m_fileExists(path))
        return true;
    try {
        return sharedJSONDecoder().decode<VMWindowsConfiguration>(FileOperations::readFile(path, maximumConfigurationSize)).enableTPM;
    } catch (const std::exception &) {
        return true; // unreadable or undecodable: as if there were no file
    }
}

QString QEMUEngine::runtimeFolder(const VMBundle &bundle) const
{
    return m_profile.runtimeDirectory + QLatin1Char('/') + bundle.id().toString(QUuid::WithoutBraces).toUpper();
}

QStringList QEMUEngine::buildArguments(const VMBundle &bundle) const
{
    const VMBundle::Layout layout = bundle.layout();
    const VMHardwareProfile &hardware = bundle.metadata.hardwareProfile;
    QStringList arguments;
    arguments << QStringLiteral("-machine") << QStringLiteral("virt,accel=%1,highmem=on").arg(m_profile.acceleratorName);
    arguments << QStringLiteral("-cpu") << m_profile.cpuModel;
    arguments << QStringLiteral("-smp") << QString::number(hardware.cpuCount);
    arguments << QStringLiteral("-m") << QString::number(hardware.memorySizeBytes / (1024 * 1024)) + QLatin1Char('M');
    // -bios and -cdrom take a plain file name, not a key=value list, so their paths stay as they are.
    if (const std::optional<QString> firmware = locateFirmware(bundle))
        arguments << QStringLiteral("-bios") << *firmware;
    arguments << QStringLiteral("-device") << QStringLiteral("ramfb");
    arguments << QStringLiteral("-device") << QStringLiteral("qemu-xhci");
    arguments << QStringLiteral("-device") << QStringLiteral("usb-kbd");
    arguments << QStringLiteral("-device") << QStringLiteral("usb-tablet");
    if (m_fileExists(layout.diskImageURL()))
        arguments << QStringLiteral("-drive") << QStringLiteral("file=%1,if=virtio,format=raw,cache=writethrough").arg(escaped(layout.diskImageURL()));
    if (m_fileExists(layout.windowsInstallISOURL()))
        arguments << QStringLiteral("-cdrom") << layout.windowsInstallISOURL() << QStringLiteral("-boot") << QStringLiteral("d");
    if (m_fileExists(layout.virtioDriversISOURL()))
        arguments << QStringLiteral("-drive") << QStringLiteral("file=%1,media=cdrom,index=1").arg(escaped(layout.virtioDriversISOURL()));
    arguments << QStringLiteral("-device") << QStringLiteral("virtio-net-pci,netdev=net0");
    arguments << QStringLiteral("-netdev") << QStringLiteral("user,id=net0");
    if (usesTPM(bundle)) {
        arguments << QStringLiteral("-chardev") << QStringLiteral("socket,id=chrtpm,path=") + VMBundle::Layout::tpmSocketFileName.toString();
        arguments << QStringLiteral("-tpmdev") << QStringLiteral("emulator,id=tpm0,chardev=chrtpm");
        arguments << QStringLiteral("-device") << QStringLiteral("tpm-tis-device,tpmdev=tpm0");
    }
    const std::optional<VMMediaConfiguration> &media = bundle.metadata.mediaConfiguration;
    if (!media || media->isSpeakerEnabled) {
        arguments << QStringLiteral("-audiodev") << m_profile.audioDriver + QStringLiteral(",id=audio0");
        arguments << QStringLiteral("-device") << QStringLiteral("intel-hda");
        // A duplex codec would let the guest record the host's microphone although it is switched off.
        const bool microphone = media && media->isMicrophoneEnabled;
        arguments << QStringLiteral("-device") << (microphone ? QStringLiteral("hda-duplex,audiodev=audio0") : QStringLiteral("hda-output,audiodev=audio0"));
    }
    arguments << QStringLiteral("-vnc") << QStringLiteral("unix:") + escaped(runtimeFolder(bundle) + QLatin1Char('/') + displaySocketName.toString());
    arguments << QStringLiteral("-monitor")
              << QStringLiteral("unix:%1,server,nowait").arg(VMBundle::Layout::qemuMonitorSocketFileName);
    arguments << QStringLiteral("-nographic");
    return arguments;
}

std::optional<QString> QEMUEngine::firstExisting(const QStringList &places) const
{
    for (const QString &place : places) {
        if (m_fileExists(place))
            return place;
    }
    return std::nullopt;
}

QStringList QEMUEngine::missingHostPackages() const
{
    QStringList missing;
    if (!locateQEMUBinary())
        missing << HostInstallAdvice::qemuPackage.toString();
    if (!firstExisting(hostFirmwarePlaces()))
        missing << HostInstallAdvice::firmwarePackage.toString();
    if (!locateTPMEmulator())
        missing << HostInstallAdvice::tpmEmulatorPackage.toString();
    return missing;
}
