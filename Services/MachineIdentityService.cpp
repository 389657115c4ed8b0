// SPDX-License-Identifier: MIT
#include "MachineIdentityService.h"

#include "ExtendedAttributes.h"
#include "FileOperations.h"
#include "PlatformError.h"

#include <QFileInfo>

MacMachineIdentifier MachineIdentityService::writeIdentity(const VMBundle::Layout &layout, const MacHardwareModel &hardwareModel) const
{
    const MacMachineIdentifier identifier = MacMachineIdentifier::generate();
    write(hardwareModel, layout.hardwareModelURL());
    write(identifier, layout.machineIdentifierURL());
    return identifier;
}

void MachineIdentityService::write(const MacHardwareModel &hardwareModel, const QString &url) const
{
    writeFile(hardwareModel.dataRepresentation(), url);
}

void MachineIdentityService::write(const MacMachineIdentifier &identifier, const QString &url) const
{
    writeFile(identifier.dataRepresentation(), url);
}

void MachineIdentityService::writeFile(const QByteArray &data, const QString &url)
{
    FileOperations::createFolders(QFileInfo(url).path());
    FileOperations::writeAtomically(url, data);
    try {
        ExtendedAttributes::setExcludedFromBackup(url);
    } catch (const PlatformError &) {
        // Only backup tools read the flag; the file is complete without it.
    }
}
