// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

/**
 * Puts one item that the user dropped on a VM's pane into the host folder of
 * the VM's shared folder, where the guest sees it. Blocking: run it on a
 * worker thread.
 *
 * The guest may write in the shared folder at any time, so nothing there is
 * trusted: the copy is made in a hidden sibling and put in place in one step
 * (a file by rename, a folder by exchange), an existing item of the same
 * name is replaced only once its successor is complete, and no link inside
 * the shared folder is followed. The dropped item itself belongs to the
 * user: a link that the user dropped is taken for what it points at.
 *
 * Refused with a clear error, touching nothing: a shared folder that does
 * not exist (it is never created: it may be a disk that is not mounted), a
 * dropped folder that contains the shared folder, and items that are neither
 * files nor folders. An item that already is the one in the shared folder is
 * left alone and counts as done.
 *
 * @code
 * const quint64 bytes = co_await BackgroundWork::run(&SharedFolderDrop::copyInto, droppedPath, sharedFolder);
 * @endcode
 */
namespace SharedFolderDrop {

/// Copies `item` into `sharedFolder` under its own name; answers the bytes of the files it holds. Throws on failure.
quint64 copyInto(const QString &item, const QString &sharedFolder);

} // namespace SharedFolderDrop
