// SPDX-License-Identifier: MIT
#include "MacAuxiliaryStorage.h"

#include "FileOperations.h"
#include "PlatformError.h"
#include "SparseCopy.h"

#include <QFileInfo>

#include <cerrno>

MacAuxiliaryStorage::MacAuxiliaryStorage(QString url)
    : m_url(std::move(url))
{
}

MacAuxiliaryStorage MacAuxiliaryStorage::create(const QString &url, const QString &variableStoreTemplate, bool allowOverwrite)
{
    if (!allowOverwrite && FileOperations::itemExists(url))
        throw PlatformError::posix(EEXIST, url);
    if (variableStoreTemplate.isEmpty())
        throw PlatformError::posix(ENOENT, variableStoreTemplate);
    SparseCopy::copyFile(variableStoreTemplate, url);
    return MacAuxiliaryStorage(url);
}

QStringList MacAuxiliaryStorage::defaultVariableStoreTemplates()
{
    return {
        QStringLiteral("/usr/share/AAVMF/AAVMF_VARS.fd"),
        // Where older releases of qemu-efi-aarch64 kept it.
        QStringLiteral("/usr/share/qemu-efi-aarch64/vars-template-pflash.raw"),
    };
}

QString MacAuxiliaryStorage::findVariableStoreTemplate(const QStringList &candidates)
{
    for (const QString &candidate : candidates) {
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return {};
}
