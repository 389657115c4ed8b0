// SPDX-License-Identifier: MIT
#include "VMCloneService.h"

#include "BackgroundWork.h"
#include "BundleFolderNaming.h"
#include "BundleSkeleton.h"
#include "ExtendedAttributes.h"
#include "FileOperations.h"
#include "GuestWrittenContent.h"
#include "JSONCoding.h"
#include "LoggingService.h"
#include "MachineIdentityService.h"
#include "PlatformError.h"
#include "ProtectionMirror.h"
#include "StagedBundleCopy.h"
#include "StagingMarker.h"
#include "VMStore.h"
#include "VirtualMachineError.h"

#include <QDateTime>
#include <QFileInfo>

namespace {

using Layout = VMBundle::Layout;

QString parentFolder(const QString &bundleURL)
{
    return QFileInfo(BundleSkeleton::standardizedFileURL(bundleURL)).path();
}

/// Our own refusals reach the caller as they are; the host's failures become cloneFailed.
VirtualMachineError cloneError(const std::exception &error)
{
    if (const auto *own = dynamic_cast<const VirtualMachineError *>(&error))
        return *own;
    return VirtualMachineError(VirtualMachineError::Case::cloneFailed, QString::fromUtf8(error.what()));
}

/// Refused before anything is written: a copy that stopped at the guest's item would be thrown away anyway.
void refuseUnreadableGuestContent(const std::optional<QString> &unreadable)
{
    if (unreadable)
        throw VirtualMachineError(VirtualMachineError::Case::cloneFailed, *unreadable);
}

void emptyFolder(const QString &folder)
{
    if (!FileOperations::itemExists(folder))
        return;
    FileOperations::removeEntries(folder);
}

/// The copy does not carry extended attributes, so the large platform files get their backup exclusion again.
void markPlatformFiles(const Layout &layout)
{
    for (const QString &file : {layout.diskImageURL(), layout.auxiliaryStorageURL(), layout.hardwareModelURL(), layout.machineIdentifierURL()}) {
        try {
            if (FileOperations::itemExists(file))
                ExtendedAttributes::setExcludedFromBackup(file);
        } catch (const PlatformError &) {
            // Only backup tools read the flag.
        }
    }
}

void removeQuietly(const QString &path) noexcept
{
    try {
        if (FileOperations::itemExists(path))
            FileOperations::removeItem(path);
    } catch (const std::exception &) {
    }
}

} // namespace

VMCloneService::VMCloneService(VMStore &store, const MachineIdentityService &machineIdentityService, const LoggingService &logging)
    : m_store(store)
    , m_machineIdentityService(machineIdentityService)
    , m_logging(logging)
{
}

QString VMCloneService::displayName(const VMBundle &source, const std::optional<QString> &name)
{
    if (name && !name->trimmed().isEmpty())
        return *name;
    return source.metadata.name + QStringLiteral(" Copy");
}

VMBundle VMCloneService::clone(const VMBundle &source, const std::optional<QString> &name, bool regenerateMachineIdentifier,
                               bool preserveSavedState) const
{
    const QString cloneName = displayName(source, name);
    refuseUnreadableGuestContent(GuestWrittenContent::unreadableItem(source.bundleURL));
    try {
        StagedBundleCopy staged(parentFolder(source.bundleURL), BundleFolderNaming::sanitizedBaseName(cloneName));
        staged.copyFrom(source.bundleURL);
        return completeClone(source, staged, cloneName, regenerateMachineIdentifier, preserveSavedState);
    } catch (const std::exception &error) {
        throw cloneError(error);
    }
}

QCoro::Task<VMBundle> VMCloneService::cloneAsync(VMBundle source, std::optional<QString> name, bool regenerateMachineIdentifier,
                                                 bool preserveSavedState) const
{
    const QString cloneName = displayName(source, name);
    refuseUnreadableGuestContent(co_await BackgroundWork::run(&GuestWrittenContent::unreadableItem, source.bundleURL));
    try {
        StagedBundleCopy staged(parentFolder(source.bundleURL), BundleFolderNaming::sanitizedBaseName(cloneName));
        co_await BackgroundWork::run(&StagedBundleCopy::copyInto, source.bundleURL, staged.url());
        co_return completeClone(source, staged, cloneName, regenerateMachineIdentifier, preserveSavedState);
    } catch (const std::exception &error) {
        throw cloneError(error);
    }
}

VMBundle VMCloneService::completeClone(const VMBundle &source, StagedBundleCopy &staged, const QString &displayName,
                                       bool regenerateMachineIdentifier, bool preserveSavedState) const
{
    const Layout stagedLayout{staged.url()};
    const QDateTime now = QDateTime::currentDateTimeUtc();

    VMBundle clone;
    clone.sharedFolders = source.sharedFolders;
    clone.firstBootConfig = source.firstBootConfig;
    clone.metadata = source.metadata;
    clone.metadata.id = QUuid::createUuid();
    clone.metadata.name = displayName;
    clone.metadata.createdAt = now.addMSecs(-now.time().msec()); // whole seconds, as the file keeps them
    clone.metadata.updatedAt = clone.metadata.createdAt;
    clone.metadata.runtimeState = VMRuntimeState::stopped;

    if (!preserveSavedState) {
        clone.metadata.hasSavedState = false;
        clone.metadata.savedState.reset();
        emptyFolder(stagedLayout.savedStateDirectoryURL());
    }
    if (regenerateMachineIdentifier)
        m_machineIdentityService.write(MacMachineIdentifier::generate(), stagedLayout.machineIdentifierURL());
    markPlatformFiles(stagedLayout);

    // The free name is taken only now, so that a bundle made meanwhile under the same name is never overwritten.
    const QString destination = BundleFolderNaming::availableBundleURL(parentFolder(source.bundleURL), BundleFolderNaming::sanitizedBaseName(displayName));
    clone.bundleURL = destination;
    clone.metadata.bundleName = BundleSkeleton::lastPathComponent(destination);
    // The copy takes its own identity before it takes its name: renamed with the source's metadata, a crash in
    // between would leave a second bundle claiming to be the source.
    FileOperations::writeAtomically(stagedLayout.metadataURL(), sharedJSONEncoder().encode(clone.metadata));
    staged.commit(destination);

    try {
        m_store.updateBundle(clone);
    } catch (...) {
        StagingMarker::removeMarkedFolderQuietly(destination);
        removeQuietly(ProtectionMirror::mirrorURL(destination));
        throw;
    }
    // Only now is the clone protected; cut short before this, the next load sees the marker and protects it.
    staged.finish();
    m_logging.log(QStringLiteral("Cloned %1 to %2").arg(source.metadata.name, displayName), QStringLiteral("Clone"), destination);
    return m_store.bundle(clone.id()).value_or(clone);
}
