// SPDX-License-Identifier: MIT
#pragma once

#include "DirectorySharing.h"
#include "VMBundle.h"
#include "VMSharedFolder.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>

class FileBookmarkService;
class SecurityScopedAccess;

/**
 * Turns a bundle's shared folders into what a guest sees: it refreshes the
 * folders' locations and bookmarks before a bundle is stored, and builds the
 * one virtio file-system device through which a guest sees the user's
 * folders, the bundle's first-boot folder and its guest-automation folder,
 * each under a name unique within the device. Holds no state; GUI thread.
 *
 * @code
 * const auto sharing = service.makeDirectorySharingDevice(bundle);
 * configuration.directorySharingDevices = sharing.devices;
 * session.accessedSecurityScopedURLs = sharing.accessedSecurityScopedURLs; // stopped when the session goes
 * @endcode
 */
class VMSharedFolderService
{
public:
    /// The device tag a Linux guest mounts the shares by.
    static constexpr QStringView linuxGuestTag = u"duvuzodovevav-shared";
    static constexpr QStringView bootstrapShareName = u"Bootstrap";
    static constexpr QStringView automationShareName = u"KestrumAutomation";
    /// The bundle's hidden folder that holds the guest's view of its shares, one empty folder per share name.
    static constexpr QStringView shareTreeFolderName = u".SharedFolderTree";
    /// The share name of a folder whose own name leaves nothing usable.
    static constexpr QStringView fallbackShareName = u"Shared Folder";

    struct DirectorySharing {
        /// Empty, or the one device of the VM.
        QList<VirtioFileSystemDeviceConfiguration> devices;
        /// The paths whose security-scoped access was started; the caller stops each when the VM's runtime session ends.
        QStringList accessedSecurityScopedURLs;

        bool operator==(const DirectorySharing &) const = default;
    };

    VMSharedFolderService(const FileBookmarkService &bookmarks, SecurityScopedAccess &access);

    /// Each folder refreshed by resolveSharedFolder(), in order; the first failure is thrown and no list is returned.
    QList<VMSharedFolder> resolveSharedFolders(const QList<VMSharedFolder> &folders) const;

    /**
     * A copy of `folder` whose location is where its bookmark leads now and
     * whose bookmark is fresh: a missing one is made, a stale one made
     * again, a fresh one kept. Throws VirtualMachineError (permissionDenied)
     * when nothing exists at `localURL` any more, checked before the
     * bookmark, and the PlatformError of a bookmark that cannot be resolved
     * or made. Writes nothing; the caller stores the copy.
     */
    VMSharedFolder resolveSharedFolder(const VMSharedFolder &folder) const;

    /**
     * The bundle's directory-sharing device: the user's folders in list
     * order (through their bookmarks, staleness ignored), then the
     * "Bootstrap" folder read-only when first boot is enabled, then the
     * "Automation" folder read-write under automationShareName, which no
     * user folder takes while it is shared; the bundle's own two folders
     * only when they are real folders. No device when there is nothing to share. The
     * tag is linuxGuestTag for a Linux guest (or a bundle with LinuxBoot.json),
     * else the macOS automount tag. The guest's view of the shares is put
     * together in the bundle's shareTreeFolderName, which stays, so that a
     * restored guest finds the very folder it saw when its state was saved.
     * A bookmark that cannot be resolved is
     * thrown, after stopping any access this call had started.
     */
    DirectorySharing makeDirectorySharingDevice(const VMBundle &bundle) const;

    /**
     * The canonical share name of `name` ("Shared Folder" when it has none),
     * or, when that is in `used`, the first of "<name> 2", "<name> 3", ...
     * that is not; the name is shortened where the number would make it too long.
     */
    static QString uniqueShareName(const QString &name, const QSet<QString> &used);

private:
    const FileBookmarkService &m_bookmarks;
    SecurityScopedAccess &m_access;
};
