// SPDX-License-Identifier: MIT
#include "HostProfile.h"

#include "HostInstallAdvice.h"
#include "MacAuxiliaryStorage.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>

#include <array>

#include <unistd.h>

namespace {

QString firstExistingFile(const QStringList &places)
{
    for (const QString &place : places) {
        if (QFileInfo(place).isFile())
            return place;
    }
    return {};
}

bool canOpenForReadingAndWriting(const QString &path)
{
    return ::access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0;
}

/// QEMU loads its PulseAudio driver as a module that Debian ships apart (qemu-system-gui).
bool qemuModuleInstalled(const QString &moduleName)
{
    const QDir libraries(QStringLiteral("/usr/lib"));
    for (const QString &multiarch : libraries.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (QFileInfo::exists(libraries.filePath(multiarch + QStringLiteral("/qemu/") + moduleName + QStringLiteral(".so"))))
            return true;
    }
    return false;
}

bool pulseServerRunning()
{
    if (qEnvironmentVariableIsSet("PULSE_SERVER"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/pulse/native"));
}

} // namespace

QString HostProfile::acceleratorName() const
{
    return accelerator == Accelerator::kvm ? QStringLiteral("kvm") : QStringLiteral("tcg");
}

QString HostProfile::cpuModel() const
{
    return accelerator == Accelerator::kvm ? QStringLiteral("host") : QStringLiteral("max");
}

HostProfile HostProfile::detect()
{
    HostProfile profile;
    profile.accelerator = acceleratorFor(QSysInfo::currentCpuArchitecture(), canOpenForReadingAndWriting(QStringLiteral("/dev/kvm")));
    profile.audioDriver = audioDriverFor(pulseServerRunning(), qemuModuleInstalled(QStringLiteral("audio-pa")),
                                         QFileInfo(QStringLiteral("/dev/snd")).isDir());
    profile.qemuProgram = firstExistingFile(qemuProgramPlaces());
    profile.firmwareCodePath = firstExistingFile(firmwareCodePlaces());
    profile.firmwareVariablesTemplatePath = MacAuxiliaryStorage::findVariableStoreTemplate();
    profile.virtiofsdProgram = firstExistingFile(virtiofsdPlaces());
    profile.unshareProgram = QStandardPaths::findExecutable(QStringLiteral("unshare"));
    profile.runtimeDirectory = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + QStringLiteral("/zovozu");
    return profile;
}

HostProfile::Accelerator HostProfile::acceleratorFor(const QString &cpuArchitecture, bool kvmUsable)
{
    return cpuArchitecture == QLatin1String("arm64") && kvmUsable ? Accelerator::kvm : Accelerator::tcg;
}

QString HostProfile::audioDriverFor(bool pulseServerRunning, bool pulseModuleInstalled, bool alsaDevicesPresent)
{
    if (pulseServerRunning && pulseModuleInstalled)
        return QStringLiteral("pa");
    if (alsaDevicesPresent)
        return QStringLiteral("alsa");
    return QStringLiteral("none");
}

QStringList HostProfile::qemuProgramPlaces()
{
    return {QStringLiteral("/usr/bin/qemu-system-aarch64")};
}

QStringList HostProfile::firmwareCodePlaces()
{
    // QEMU_EFI.fd of the same package is the bare 2 MiB image, too small to map as the virt machine's flash.
    return {QStringLiteral("/usr/share/AAVMF/AAVMF_CODE.fd")};
}

QStringList HostProfile::virtiofsdPlaces()
{
    // The set-up's own build first, then where Debian 13 and later package it. QEMU 7.2's
    // C daemon in /usr/lib/qemu neither migrates nor takes the options the launch passes.
    return {QStringLiteral("/usr/local/libexec/virtiofsd"), QStringLiteral("/usr/libexec/virtiofsd")};
}

QString HostProfile::qemuMissingAdvice()
{
    return QStringLiteral("QEMU is not installed. Install it with: ") + HostInstallAdvice::qemuInstallCommand.toString();
}

QString HostProfile::firmwareMissingAdvice()
{
    return QStringLiteral("The AArch64 EFI firmware is not installed. Install it with: ") + HostInstallAdvice::qemuInstallCommand.toString();
}

QString HostProfile::virtiofsdMissingAdvice()
{
    return QStringLiteral("Shared folders need virtiofsd 1.11 or later, which is not installed (Debian 12 packages none). "
                          "Build and install it with the set-up command: ")
        + HostInstallAdvice::virtiofsdSetupCommand.toString();
}

std::optional<QString> HostProfile::missingFileAdvice(const QString &qemuOutput)
{
    // QEMU 7.2 words these in several ways: "failed to find romfile "efi-virtio.rom"",
    // "Could not open option rom 'vgabios-ramfb.bin': ..." and, for flash images, "Could not open '<path>': ...".
    static const QRegularExpression missingFile(
        QStringLiteral(R"((?:failed to find romfile|could not open option rom|could not load \w+(?: \w+)?|could not open) ["']([^"']+)["'])"),
        QRegularExpression::CaseInsensitiveOption);
    struct Source {
        QRegularExpression fileName;
        QStringView package;
    };
    static const std::array sources{
        Source{QRegularExpression(QStringLiteral(R"(^(?:efi|pxe)-[\w-]+\.rom$)")), u"ipxe-qemu"},
        Source{QRegularExpression(QStringLiteral(R"(^(?:vga)?bios[\w.-]*\.bin$)")), u"seabios"},
        Source{QRegularExpression(QStringLiteral(R"(^(?:AAVMF|QEMU_EFI)[\w.-]*\.fd$)")), u"qemu-efi-aarch64"},
    };
    QRegularExpressionMatchIterator matches = missingFile.globalMatch(qemuOutput);
    while (matches.hasNext()) {
        const QString fileName = QFileInfo(matches.next().captured(1)).fileName();
        for (const Source &source : sources) {
            if (source.fileName.match(fileName).hasMatch())
                return QStringLiteral("QEMU cannot find the file %1 from the package %2. Install it with: %3 %2")
                    .arg(fileName, source.package.toString(), HostInstallAdvice::packageInstallCommand.toString());
        }
    }
    return std::nullopt;
}
