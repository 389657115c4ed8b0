// SPDX-License-Identifier: MIT
#pragma once

#include <QStringList>
#include <QStringView>

/**
 * Install advice that depends on this host's package manager. Every text that
 * tells the user how to get QEMU builds on these, so they stay in one place.
 */
namespace HostInstallAdvice {

/// Followed by package names, installs them.
inline constexpr QStringView packageInstallCommand = u"sudo apt install";

/// Installs the QEMU ARM emulator, its EFI firmware and the TPM emulator that Windows guests need.
inline constexpr QStringView qemuInstallCommand = u"sudo apt install qemu-system-arm qemu-efi-aarch64 swtpm";

/// Debian 12 packages no virtiofsd that can migrate; the project's set-up builds and installs one.
inline constexpr QStringView virtiofsdSetupCommand = u"scripts/dev.sh app";

/// The three packages of qemuInstallCommand, one by one.
inline constexpr QStringView qemuPackage = u"qemu-system-arm";
inline constexpr QStringView firmwarePackage = u"qemu-efi-aarch64";
inline constexpr QStringView tpmEmulatorPackage = u"swtpm";

/// The command that installs `packages`.
inline QString installCommand(const QStringList &packages)
{
    return packageInstallCommand.toString() + QLatin1Char(' ') + packages.join(QLatin1Char(' '));
}

} // namespace HostInstallAdvice
