// SPDX-License-Identifier: MIT
#include "AuxiliaryStorageService.h"

#include "ExtendedAttributes.h"
#include "FileOperations.h"
#include "HostInstallAdvice.h"
#include "PlatformError.h"
#include "VirtualMachineError.h"

#include <QFileInfo>

#include <optional>

AuxiliaryStorageService::AuxiliaryStorageService(QStringList variableStoreTemplates)
    : m_variableStoreTemplates(std::move(variableStoreTemplates))
{
}

MacAuxiliaryStorage AuxiliaryStorageService::createAuxiliaryStorage(const QString &url, const MacHardwareModel &, bool allowOverwrite) const
{
    FileOperations::createFolders(QFileInfo(url).path());

    const QString variableStoreTemplate = MacAuxiliaryStorage::findVariableStoreTemplate(m_variableStoreTemplates);
    if (variableStoreTemplate.isEmpty())
        throw VirtualMachineError(VirtualMachineError::Case::auxiliaryStorageFailed,
                                  QStringLiteral("The EFI variable store template of the firmware was not found at %1. Install it with: %2")
                                      .arg(m_variableStoreTemplates.join(QStringLiteral(", ")), HostInstallAdvice::qemuInstallCommand.toString()));

    std::optional<MacAuxiliaryStorage> storage;
    try {
        storage.emplace(MacAuxiliaryStorage::create(url, variableStoreTemplate, allowOverwrite));
    } catch (const PlatformError &error) {
        throw VirtualMachineError(VirtualMachineError::Case::auxiliaryStorageFailed, error.description());
    }
    try {
        ExtendedAttributes::setExcludedFromBackup(url);
    } catch (const PlatformError &) {
        // Only backup tools read the flag; the store is complete without it.
    }
    return *storage;
}
