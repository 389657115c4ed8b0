// SPDX-License-Identifier: MIT
#pragma once

#include "PlatformError.h"
#include "WriteSteps.h"

#include <QFile>
#include <QString>

#include <filesystem>
#include <system_error>

/// Renaming within one file system, with failures as the host's PlatformError.
namespace ItemRename {

/**
 * Renames the item at `source` (a link as itself) to `destination` in one
 * step. An existing file at `destination` is replaced, and so is an empty
 * folder; callers that must not replace anything test for it first.
 * Failures throw PlatformError naming `destination`.
 */
inline void rename(const QString &source, const QString &destination)
{
    WriteSteps::reach(WriteSteps::Step::rename, destination);
    std::error_code error;
    std::filesystem::rename(QFile::encodeName(source).toStdString(), QFile::encodeName(destination).toStdString(), error);
    if (error)
        throw PlatformError::posix(error.value(), destination);
}

} // namespace ItemRename
