// SPDX-License-Identifier: MIT
#pragma once

#include "MacAuxiliaryStorage.h"
#include "MacHardwareModel.h"

#include <QString>
#include <QStringList>

/**
 * Creates the auxiliary storage of a macOS-style guest, the AuxiliaryStorage
 * file of its bundle: a copy of the EFI variable-store template of the
 * installed AArch64 firmware, taken from the first of the template places
 * that holds a file. The places are given at construction so that tests do
 * not depend on the firmware package.
 *
 * The new file is marked as excluded from backups. A folder that cannot be
 * made fails with the host's PlatformError; every failure to make the store
 * itself (no template, an existing file that may not be replaced, a failed
 * copy) is auxiliaryStorageFailed with the host's description. Nothing is
 * logged.
 */
class AuxiliaryStorageService
{
public:
    explicit AuxiliaryStorageService(QStringList variableStoreTemplates = MacAuxiliaryStorage::defaultVariableStoreTemplates());

    /**
     * Creates the storage at `url` for `hardwareModel`, replacing an
     * existing file only when `allowOverwrite` is set. The variable store's
     * layout is the firmware's own, whatever the hardware model.
     */
    MacAuxiliaryStorage createAuxiliaryStorage(const QString &url, const MacHardwareModel &hardwareModel, bool allowOverwrite) const;

    const QStringList &variableStoreTemplates() const { return m_variableStoreTemplates; }

private:
    QStringList m_variableStoreTemplates;
};
