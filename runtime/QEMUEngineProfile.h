// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

struct HostProfile;

/**
 * What the Windows engine takes from the host it runs on: the accelerator
 * and CPU model, QEMU's audio driver, the places of QEMU, its firmware and
 * the TPM emulator beyond the ones the engine always tries, and the advice
 * shown when a program is missing. forHost() derives it from the host
 * profile of the virtualization layer; a test may describe any other host.
 */
struct QEMUEngineProfile {
    /// The accel= value of -machine: "kvm", "tcg", or another host's own.
    QString acceleratorName;
    /// The -cpu value.
    QString cpuModel;
    /// The driver of -audiodev.
    QString audioDriver;
    /// Looked at after the application's own QEMU and Homebrew's two places.
    QStringList extraProgramPlaces;
    /// Looked at after the bundle's own firmware and Homebrew's two places; each must suit -bios.
    QStringList extraFirmwarePlaces;
    /// Where swtpm may be, in order.
    QStringList tpmEmulatorPlaces;
    /// The detail of the error when no QEMU is found.
    QString qemuMissingAdvice;
    /// The detail of the error when a machine needs a TPM and no swtpm is found.
    QString tpmEmulatorMissingAdvice;
    /// Holds one private folder per running VM, named by its identifier, for the display socket.
    QString runtimeDirectory;

    /// This host's substitutions, from the virtualization layer's profile of it.
    static QEMUEngineProfile forHost(const HostProfile &host);

    bool operator==(const QEMUEngineProfile &) const = default;
};
