// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/**
 * The application's own folders under the user's XDG data and cache homes.
 * Each function creates its folder (with any missing parents) when asked and
 * returns its absolute path; failures throw PlatformError.
 *
 *   data root            <data home>/Zovozu VM Lab/
 *   library root         <data root>/VirtualMachines/
 *   logs                 <data root>/Logs/
 *   restore-image cache  <cache home>/Zovozu VM Lab/RestoreImageCache/
 */
namespace AppDirectories {

QString applicationSupportRoot();
QString subdirectory(const QString &name);
QString libraryRoot();
QString logsDirectory();
QString cacheDirectory();

} // namespace AppDirectories

/// The ten characters that may not appear in a file name we make: / : \ ? % * | " < >
inline constexpr char16_t forbiddenFileNameCharacters[] = u"/:\\?%*|\"<>";

/// `text` with each character of `forbidden` replaced by "-"; every other character is kept.
QString sanitizedFileName(const QString &text, const QString &forbidden = QString::fromUtf16(forbiddenFileNameCharacters));
