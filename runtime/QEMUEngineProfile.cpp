// SPDX-License-Identifier: MIT
#include "QEMUEngineProfile.h"

#include "HostInstallAdvice.h"
#include "HostProfile.h"

QEMUEngineProfile QEMUEngineProfile::forHost(const HostProfile &host)
{
    QEMUEngineProfile profile;
    profile.acceleratorName = host.acceleratorName();
    profile.cpuModel = host.cpuModel();
    profile.audioDriver = host.audioDriver;
    profile.extraProgramPlaces = HostProfile::qemuProgramPlaces();
    // Debian's bare firmware image is the one made for -bios; the padded flash image works there too.
    profile.extraFirmwarePlaces = QStringList{QStringLiteral("/usr/share/qemu-efi-aarch64/QEMU_EFI.fd")} + HostProfile::firmwareCodePlaces();
    profile.tpmEmulatorPlaces = {QStringLiteral("/usr/bin/swtpm")};
    profile.qemuMissingAdvice = HostProfile::qemuMissingAdvice();
    profile.tpmEmulatorMissingAdvice =
        QStringLiteral("The TPM emulator swtpm is not installed. Install it with: ") + HostInstallAdvice::qemuInstallCommand.toString();
    profile.runtimeDirectory = host.runtimeDirectory;
    return profile;
}
