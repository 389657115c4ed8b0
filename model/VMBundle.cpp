// SPDX-License-Identifier: MIT
#include "VMBundle.h"

#include "VirtualMachineError.h"

#include <QDir>
#include <QFileInfo>

QString VMBundle::Layout::itemURL(QStringView relativePath) const
{
    return QDir::cleanPath(rootURL + QLatin1Char('/') + relativePath.toString());
}

QString VMBundle::Layout::urlForRelativePath(const QString &relativePath) const
{
    const bool escapes = relativePath.isEmpty() || relativePath.startsWith(QLatin1Char('/'))
        || relativePath.split(QLatin1Char('/')).contains(QStringLiteral(".."));
    if (escapes)
        throw VirtualMachineError::invalidBundle(
            QStringLiteral("The path \"%1\" in the bundle's files does not name an item inside the bundle.").arg(relativePath));
    return itemURL(relativePath);
}

QList<VMBundle::Layout::Requirement> VMBundle::Layout::requirements(const VMMetadata &metadata) const
{
    QList<Requirement> list;
    const auto require = [&](QStringView name, bool isDirectory) {
        list.append(Requirement{name.toString(), itemURL(name), isDirectory});
    };
    require(metadataFileName, false);
    require(sharedFoldersFileName, false);
    require(savedStateDirectoryName, true);
    require(restoreImagesDirectoryName, true);
    require(logsDirectoryName, true);
    if (metadata.installState == VMInstallState::installingMacOS || metadata.installState == VMInstallState::installed) {
        require(diskImageFileName, false);
        // Bundles from before the guest kind was recorded are macOS guests.
        if (metadata.guestOSType.value_or(VMGuestOSType::macOS) == VMGuestOSType::macOS) {
            require(auxiliaryStorageFileName, false);
            require(machineIdentifierFileName, false);
            require(hardwareModelFileName, false);
        }
    }
    if (metadata.firstBootEnabled)
        require(bootstrapDirectoryName, true);
    return list;
}

QList<VMBundle::Layout::Requirement> VMBundle::Layout::missingRequirements(const VMMetadata &metadata) const
{
    QList<Requirement> missing;
    for (const Requirement &requirement : requirements(metadata)) {
        const QFileInfo item(requirement.url);
        if (!item.exists() || item.isDir() != requirement.isDirectory)
            missing.append(requirement);
    }
    return missing;
}
