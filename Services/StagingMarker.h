// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringView>

/**
 * The file by which a hidden staging folder shows that this application made
 * it, and which process did. Only a folder that holds it, written by a
 * process that no longer runs, counts as left behind: a user's folder that
 * merely looks like a staging folder has none, and the work of an instance
 * that still runs is never taken for a leftover.
 *
 * The marker is written into the folder before anything is copied into it
 * and stays until the copy is in place and complete, so a copy cut short at
 * any point carries it.
 *
 * @code
 * StagingMarker::write(stagedFolder);
 * ... later, when the library loads ...
 * if (StagingMarker::marksLeftover(folder)) remove(folder);
 * @endcode
 */
namespace StagingMarker {

inline constexpr QStringView fileName = u".DuvuzodOvevavStaging.json";

/// Marks `folder` as being filled by this process; throws PlatformError.
void write(const QString &folder);

/// Whether `folder` holds a readable marker whose process no longer runs. Never throws: an unreadable marker, or none, proves nothing.
bool marksLeftover(const QString &folder);

/// Removes the marker from `folder` when it is there, without following a link; throws PlatformError.
void remove(const QString &folder);

} // namespace StagingMarker
