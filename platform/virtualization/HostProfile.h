// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

/**
 * What differs between hosts when a machine runs on QEMU: the accelerator,
 * the audio driver, where Debian puts the programs and the firmware, and the
 * one-line advice for installing them. detect() reads it from this host; tests
 * and callers that know better fill it in themselves.
 *
 * @code
 * const HostProfile profile = HostProfile::detect();
 * if (profile.qemuProgram.isEmpty())
 *     throw VirtualizationError(VirtualizationError::Code::notSupported, HostProfile::qemuMissingAdvice());
 * @endcode
 */
struct HostProfile {
    enum class Accelerator { kvm, tcg };

    /// kvm only on an arm64 host whose /dev/kvm we may open; everywhere else tcg emulates.
    Accelerator accelerator = Accelerator::tcg;
    /// QEMU's audio driver for the host's sound server: "pa", "alsa" or "none".
    QString audioDriver = QStringLiteral("none");
    /// qemu-system-aarch64; empty when it is not installed.
    QString qemuProgram;
    /// The AArch64 EFI firmware, padded to the 64 MiB flash it is mapped as; empty when missing.
    QString firmwareCodePath;
    /// The empty EFI variable store each machine gets its own copy of; empty when missing.
    QString firmwareVariablesTemplatePath;
    /// The virtio file-system daemon (virtiofsd 1.11 or later, which migrates and takes the long options); empty when missing.
    QString virtiofsdProgram;
    /// unshare(1), which gives virtiofsd the private root it needs without privileges.
    QString unshareProgram;
    /// Where each running machine gets its short folder for sockets and its pid file.
    QString runtimeDirectory;

    /// QEMU's -accel value.
    QString acceleratorName() const;
    /// QEMU's -cpu value: the host's own CPU under kvm, the richest emulated one under tcg.
    QString cpuModel() const;

    /// This host's profile: the first existing place of each program and file, the accelerator and the audio driver.
    static HostProfile detect();

    static Accelerator acceleratorFor(const QString &cpuArchitecture, bool kvmUsable);
    static QString audioDriverFor(bool pulseServerRunning, bool pulseModuleInstalled, bool alsaDevicesPresent);

    static QStringList qemuProgramPlaces();
    static QStringList firmwareCodePlaces();
    static QStringList virtiofsdPlaces();

    /// "QEMU is not installed. Install it with: " and this host's install command.
    static QString qemuMissingAdvice();
    /// The same advice for missing firmware.
    static QString firmwareMissingAdvice();
    /// That shared folders need virtiofsd, and the set-up command that builds and installs it.
    static QString virtiofsdMissingAdvice();
    /**
     * When QEMU's output says that it could not find one of the ROM or
     * firmware files Debian packages apart from QEMU itself (an option ROM, a
     * VGA BIOS, the EFI firmware), a sentence naming the file and the apt
     * command that installs its package; nothing for any other output.
     */
    static std::optional<QString> missingFileAdvice(const QString &qemuOutput);

    bool operator==(const HostProfile &) const = default;
};
