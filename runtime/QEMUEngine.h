// SPDX-License-Identifier: MIT
#pragma once

#include "QEMUEngineProfile.h"
#include "VMBundle.h"
#include "VMEngineType.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <memory>
#include <optional>

class LoggingService;
class QEMUExecutor;

/**
 * Turns a Windows bundle into a qemu-system-aarch64 run: finds the program,
 * the firmware and, when the machine has a TPM, swtpm, and builds the whole
 * command line. The engine holds nothing per VM and may be made and dropped
 * freely; the executor it makes runs the process. What differs from host to
 * host (accelerator, audio driver, extra places, install advice) comes from
 * its profile; every existence test goes through `fileExists`, so tests can
 * describe any file system. GUI thread only.
 *
 * Paths inside key=value options have their commas doubled. The sockets are
 * named relative to the bundle folder, QEMU's working directory, so a deep
 * bundle never passes the 107-byte limit of a socket path; the VNC display
 * listens on a socket in the VM's private runtime folder, never on a TCP
 * port another user could reach.
 *
 * @code
 * const QEMUEngine engine(logging);
 * co_await registry.start(engine.makeExecutor(bundle));
 * @endcode
 */
class QEMUEngine
{
public:
    using FileExists = std::function<bool(const QString &path)>;

    static constexpr QStringView programName = u"qemu-system-aarch64";
    static constexpr QStringView displaySocketName = u"vnc.sock";
    /// Longest path a unix socket can be bound at (sun_path less its terminating zero).
    static constexpr qsizetype maximumSocketPathLength = 107;
    /// WindowsConfig.json is a few hundred bytes; anything far larger is not one.
    static constexpr qint64 maximumConfigurationSize = 1024 * 1024;

    /// On this host's profile, testing files on the disk.
    explicit QEMUEngine(const LoggingService &loggingService);
    QEMUEngine(const LoggingService &loggingService, QEMUEngineProfile profile, FileExists fileExists = {});

    VMEngineType engineType() const { return VMEngineType::qemu; }
    const QEMUEngineProfile &profile() const { return m_profile; }

    /**
     * A stopped executor for the bundle with the program's path and the
     * arguments. Throws VirtualMachineError (runtimeError) with the
     * profile's advice when no QEMU is found, or when the machine has a TPM
     * and no swtpm is found.
     */
    std::unique_ptr<QEMUExecutor> makeExecutor(const VMBundle &bundle) const;

    /// The application's own QEMU, then Homebrew's, then the profile's places; the first that exists.
    std::optional<QString> locateQEMUBinary() const;
    /// The bundle's QEMU_EFI.fd, then Homebrew's edk2 firmware, then the profile's places; none means no -bios.
    std::optional<QString> locateFirmware(const VMBundle &bundle) const;
    std::optional<QString> locateTPMEmulator() const;
    /// The packages of QEMU, its firmware and swtpm whose programs the engine finds nowhere on this host, in install order.
    QStringList missingHostPackages() const;

    /// The command line without the program. Never fails: an unreadable WindowsConfig.json counts as absent.
    QStringList buildArguments(const VMBundle &bundle) const;

    /// Whether the machine gets a TPM: unless its WindowsConfig.json says otherwise, it does.
    bool usesTPM(const VMBundle &bundle) const;

    /// The VM's private folder for its display socket: the profile's runtime directory and the VM's identifier.
    QString runtimeFolder(const VMBundle &bundle) const;

private:
    std::optional<QString> firstExisting(const QStringList &places) const;
    /// Where firmware is looked for beyond a bundle's own copy.
    QStringList hostFirmwarePlaces() const;

    const LoggingService &m_logging;
    QEMUEngineProfile m_profile;
    FileExists m_fileExists;
};
