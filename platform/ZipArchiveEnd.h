// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/**
 * Reads the end of a zip archive (a restore image is one): the end of
 * central directory record, which the format puts last, followed only by
 * its comment, and for a Zip64 archive the locator and record before it.
 * A file cut short has lost that record, so this tells a whole download
 * from one that ended early, whatever length the server announced.
 * Blocking; reads at most 64 KiB from the end and a few bytes elsewhere.
 */
namespace ZipArchiveEnd {

/// True when the file ends with an end record whose central directory lies inside the file, before the record.
bool isComplete(const QString &path);

} // namespace ZipArchiveEnd
