// SPDX-License-Identifier: MIT
#include "VMSharedFolderService.h"

#include "FileBookmarkService.h"
#include "FileOperations.h"
#include "FreeName.h"
#include "SecurityScopedAccess.h"
#include "VirtualMachineError.h"

#include <QFileInfo>
#include <QUrl>


namespace {

/**
 * A folder of the bundle itself is shared only when it is a real folder: a
 * bundle may come from anywhere, and a link in its place would hand the
 * guest whatever it points to, read-write in the case of Automation.
 */
bool isRealFolder(const QString &path)
{
    const QFileInfo info(path);
    return info.isDir() && !info.isSymLink();
}

/// `base` + `suffix`, with `base` shortened until the whole is still a canonical share name.
QString numberedName(QString base, const QString &suffix)
{
    while (!base.isEmpty() && MultipleDirectoryShare::canonicalName(base + suffix) != base + suffix)
        base.chop(1);
    return base + suffix;
}

} // namespace

VMSharedFolderService::VMSharedFolderService(const FileBookmarkService &bookmarks, SecurityScopedAccess &access)
    : m_bookmarks(bookmarks)
    , m_access(access)
{
}

QList<VMSharedFolder> VMSharedFolderService::resolveSharedFolders(const QList<VMSharedFolder> &folders) const
{
    QList<VMSharedFolder> resolved;
    resolved.reserve(folders.size());
    for (const VMSharedFolder &folder : folders)
        resolved.append(resolveSharedFolder(folder));
    return resolved;
}

VMSharedFolder VMSharedFolderService::resolveSharedFolder(const VMSharedFolder &folder) const
{
    // The last known path is tested first: a folder the user moved must be picked again, even if its bookmark would find it.
    if (!QFileInfo::exists(folder.localURL.toLocalFile())) {
        throw VirtualMachineError(VirtualMachineError::Case::permissionDenied,
                                  QStringLiteral("The shared folder ") + folder.displayName + QStringLiteral(" no longer exists."));
    }

    VMSharedFolder refreshed = folder;
    if (folder.bookmarkData) {
        const ResolvedBookmark resolved = m_bookmarks.resolveBookmark(*folder.bookmarkData);
        refreshed.localURL = QUrl::fromLocalFile(resolved.url);
        if (resolved.isStale)
            refreshed.bookmarkData = m_bookmarks.makeBookmark(resolved.url);
    } else {
        refreshed.bookmarkData = m_bookmarks.makeBookmark(folder.localURL.toLocalFile());
    }
    return refreshed;
}

VMSharedFolderService::DirectorySharing VMSharedFolderService::makeDirectorySharingDevice(const VMBundle &bundle) const
{
    const VMBundle::Layout layout = bundle.layout();
    const bool sharesAutomation = isRealFolder(layout.automationDirectoryURL());
    MultipleDirectoryShare share;
    QSet<QString> used;
    // The guest tools serve only the share of exactly this name; a user's folder, which the guest may write to, never takes it.
    if (sharesAutomation)
        used.insert(automationShareName.toString());
    QStringList accessed;
    const auto addShare = [&share, &used](const QString &baseName, const SharedDirectory &directory) {
        const QString name = uniqueShareName(baseName, used);
        used.insert(name);
        share.insert(name, directory);
    };

    try {
        for (const VMSharedFolder &folder : bundle.sharedFolders) {
            const QString path = folder.bookmarkData ? m_bookmarks.resolveBookmark(*folder.bookmarkData).url : folder.localURL.toLocalFile();
            if (m_access.startAccessing(path))
                accessed.append(path);
            addShare(folder.displayName, SharedDirectory{path, folder.isReadOnly});
        }
    } catch (...) {
        // Nothing is returned, so nobody else could ever stop these.
        for (auto path = accessed.crbegin(); path != accessed.crend(); ++path)
            m_access.stopAccessing(*path);
        throw;
    }

    if (bundle.firstBootConfig && bundle.firstBootConfig->enabled && isRealFolder(layout.bootstrapDirectoryURL()))
        addShare(bootstrapShareName.toString(), SharedDirectory{layout.bootstrapDirectoryURL(), true});
    if (sharesAutomation)
        share.insert(automationShareName.toString(), SharedDirectory{layout.automationDirectoryURL(), false});

    if (share.isEmpty())
        return {};

    // LinuxBoot.json marks a Linux bundle whose metadata does not say so.
    const bool linuxGuest = bundle.metadata.guestOSType == VMGuestOSType::linux || FileOperations::itemExists(layout.linuxBootURL());
    const QString tag = linuxGuest ? linuxGuestTag.toString() : VirtioFileSystemDeviceConfiguration::macOSGuestAutomountTag.toString();
    return {{VirtioFileSystemDeviceConfiguration{tag, share, bundle.bundleURL + QLatin1Char('/') + shareTreeFolderName.toString()}}, accessed};
}

QString VMSharedFolderService::uniqueShareName(const QString &name, const QSet<QString> &used)
{
    const QString base = MultipleDirectoryShare::canonicalName(name).value_or(fallbackShareName.toString());
    return FreeName::first(base, [&used](const QString &candidate) { return used.contains(candidate); }, &numberedName);
}
