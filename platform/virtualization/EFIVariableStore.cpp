// SPDX-License-Identifier: MIT
#include "EFIVariableStore.h"

#include "FileOperations.h"
#include "PlatformError.h"
#include "SparseCopy.h"

#include <QFileInfo>

#include <cerrno>

EFIVariableStore::EFIVariableStore(QString url)
    : m_url(std::move(url))
{
}

EFIVariableStore EFIVariableStore::create(const QString &url, const QString &variableStoreTemplate, bool allowOverwrite)
{
    if (!allowOverwrite && FileOperations::itemExists(url))
        throw PlatformError::posix(EEXIST, url);
    if (variableStoreTemplate.isEmpty() || !QFileInfo(variableStoreTemplate).isFile())
        throw PlatformError::posix(ENOENT, variableStoreTemplate);
    SparseCopy::copyFile(variableStoreTemplate, url);
    return EFIVariableStore(url);
}
