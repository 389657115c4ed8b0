// SPDX-License-Identifier: MIT
#pragma once

#include "DeviceConfigurations.h"
#include "EFIVariableStore.h"
#include "MacAuxiliaryStorage.h"
#include "VMBuiltConfiguration.h"
#include "VMBundle.h"
#include "VMNetworkDeviceMaker.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

class HostNetworkService;
class LoggingService;
class SecurityScopedAccess;
class VMSharedFolderService;

/**
 * The host side of Linux guests booted through EFI: tells a Linux EFI bundle
 * apart, builds its machine configuration, and keeps the cache of
 * downloaded installer ISOs. GUI thread only; every call is synchronous and
 * holds no state.
 *
 * The configuration: generic platform, EFI with the bundle's own variable
 * store (made from the firmware's template at the first build and kept, so
 * boot entries survive restarts), the bundle's disk, the installer ISO as a
 * USB stick while it is in the bundle, virtio display (at most 1024 by 768),
 * USB keyboard and pointer, sound, network, entropy, memory balloon, a
 * serial console written to Logs/console.log, and the shared folders.
 *
 * @code
 * const bool iso = FileOperations::itemExists(bundle.layout().linuxInstallISOURL());
 * const VMBuiltConfiguration built = linux.makeConfiguration(bundle, iso);
 * @endcode
 */
class VMLinuxService final
{
public:
    /// Where the serial console's output goes, relative to the bundle folder.
    static constexpr QStringView serialConsoleRelativePath = u"Logs/console.log";
    /// The widest and tallest virtio display the firmware and guests handle well.
    static constexpr qint64 maximumScanoutWidth = 1024;
    static constexpr qint64 maximumScanoutHeight = 768;
    /// A cached ISO no larger than this is taken for an interrupted download.
    static constexpr quint64 minimumCachedISOSize = 1'000'000;

    /**
     * `access` is what the shared-folder service starts access with; it is
     * stopped here when validation fails. New variable stores are copies of
     * the first of `variableStoreTemplates` that exists (Debian's AAVMF).
     */
    VMLinuxService(const LoggingService &loggingService, const VMSharedFolderService &sharedFolderService,
                   const HostNetworkService &hostNetworkService, SecurityScopedAccess &access,
                   QStringList variableStoreTemplates = MacAuxiliaryStorage::defaultVariableStoreTemplates());

    /// A Linux guest, or any bundle with LinuxBoot.json or EFIVariableStore.bin.
    bool isLinuxEFIBundle(const VMBundle &bundle) const;

    /**
     * The validated configuration of the bundle, with the ISO attached when
     * `attachInstallISO` is set and the file is there. Host failures (the
     * variable store, the Logs folder) are thrown as PlatformError, the
     * shared-folder service's errors as they come, a bridge that cannot be
     * had and a refusal by validation as VirtualMachineError
     * (configurationValidationFailed); validation stops the shares' access
     * first. Logs one line under "Linux" to the bundle's log.
     */
    VMBuiltConfiguration makeConfiguration(const VMBundle &bundle, bool attachInstallISO) const;

    /// A new, empty variable store at `url`, a copy of the firmware's template; an existing file is refused. Throws PlatformError.
    EFIVariableStore makeEFIVariableStore(const QString &url) const;

    /// The image at `url` with default caching and synchronization.
    DiskImageStorageDeviceAttachment makeDiskAttachment(const QString &url, bool readOnly) const;

    /// LinuxISOs in the application's cache, else in a folder of the temporary directory; made when missing, never failing.
    QString isoCacheDirectory() const;

    /// Where the cached copy of `remoteURL` lives: the cache folder and the address's file name; none when it names no file.
    std::optional<QString> isoCacheFileURL(const QUrl &remoteURL) const;

    /// The cached copy of `remoteURL` when it is a regular file of more than minimumCachedISOSize bytes.
    std::optional<QString> cachedISOURL(const QUrl &remoteURL) const;

private:
    const LoggingService &m_loggingService;
    const VMSharedFolderService &m_sharedFolderService;
    SecurityScopedAccess &m_access;
    VMNetworkDeviceMaker m_networkDeviceMaker;
    QStringList m_variableStoreTemplates;
};
