// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

/**
 * The file by which a hidden staging folder shows that this application made
 * it, and which process did. Only a folder that holds it, written in that
 * very folder by a process that no longer runs, counts as left behind: a
 * user's folder that merely looks like a staging folder has none, a marker
 * copied into another folder names a folder other than the one it lies in,
 * and the work of an instance that still runs, on this machine or another
 * one sharing the folder, is never taken for a leftover.
 *
 * The marker is written into the folder before anything is copied into it
 * and stays until the copy is in place and complete, so a copy cut short at
 * any point carries it; removeMarkedFolder() takes it away last of all.
 *
 * @code
 * StagingMarker::write(stagedFolder);
 * ... later, when the library loads ...
 * if (StagingMarker::marksLeftover(folder)) StagingMarker::removeMarkedFolder(folder);
 * @endcode
 */
namespace StagingMarker {

inline constexpr QStringView fileName = u".DuvuzodOvevavStaging.json";

/// A marker is a few hundred bytes; anything larger is not one.
inline constexpr qint64 maximumSize = 4096;

/**
 * Marks `folder` as being filled by this process; throws PlatformError. The
 * marker names the folder's own name and `laterNames`, the names the folder
 * will be given by a rename, so that it holds wherever the folder is moved
 * within one parent, and nowhere else.
 */
void write(const QString &folder, const QStringList &laterNames = {});

/**
 * Whether `folder` holds a readable marker, written for a folder of this
 * name, whose process no longer runs. Never throws: an unreadable marker,
 * or none, proves nothing.
 *
 * A marker of an earlier version names no folder: it counts only when it
 * was made together with its folder (their birth times within seconds of
 * each other, where the file system keeps them), as every such marker was,
 * so that a marker copied into a user's older folder proves nothing either.
 */
bool marksLeftover(const QString &folder);

/**
 * Whether `folder` holds no more than making a marked folder leaves before
 * its marker is complete: nothing at all, the marker's temporary file, or a
 * marker that cannot be read, each a small regular file. Such a folder holds
 * nobody's data. Never throws; a folder that cannot be read is not one.
 */
bool isUnfinished(const QString &folder);

/// Removes the marker from `folder` when it is there, without following a link; throws PlatformError.
void remove(const QString &folder);

/**
 * Removes the marked folder with everything in it, its marker after all the
 * rest and just before the folder itself, so that a removal cut short leaves
 * a folder that still shows it is a leftover. Links inside are removed as
 * themselves. Throws PlatformError.
 */
void removeMarkedFolder(const QString &folder);

/// removeMarkedFolder() where a failure matters less than the one being handled: nothing is thrown, whatever is left keeps its marker.
void removeMarkedFolderQuietly(const QString &folder) noexcept;

} // namespace StagingMarker
