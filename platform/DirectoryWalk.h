// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <sys/stat.h>

#include <functional>

/**
 * Visits every item below a folder without ever following a symbolic link:
 * a link is reported as itself and a linked folder is never entered, so a
 * walk cannot leave the tree. `folder` itself is not visited; it is opened
 * as given, so a link that the caller names as the folder is listed.
 *
 * Order: the entries of each folder in listing order; a folder's content is
 * visited before the folder itself (depth first, post-order).
 *
 *     DirectoryWalk::forEachItemBelow(bundle, {.hidden = DirectoryWalk::HiddenItems::skip},
 *                                     [](const DirectoryWalk::Item &item) { ... });
 */
namespace DirectoryWalk {

enum class HiddenItems {
    visit,
    skip, ///< names beginning with "." are neither visited nor entered
};

enum class Failures {
    thrown, ///< the first listing or status failure is thrown as PlatformError
    passedOver, ///< unreadable folders and items are skipped silently
};

struct Options {
    HiddenItems hidden = HiddenItems::visit;
    Failures failures = Failures::thrown;
};

/**
 * One visited item; `folderDescriptor` and `name` reach it relative to its
 * open folder (for the *at calls). `name` holds the name's own bytes, which
 * need not be UTF-8; `path` is for messages only, since a name that is not
 * UTF-8 does not survive the conversion to text.
 */
struct Item {
    QString path;
    struct stat status;
    int folderDescriptor;
    QByteArray name;
};

using Visitor = std::function<void(const Item &item)>;

/// The names in the open folder as their own bytes, hidden ones included (not "." and ".."), in listing order; `path` names it in errors. Throws PlatformError.
QList<QByteArray> namesIn(int folderDescriptor, const QString &path);

/// Walks below `folder`; a folder that cannot be listed (missing, not a folder) fails as set by `options`.
void forEachItemBelow(const QString &folder, Options options, const Visitor &visit);

} // namespace DirectoryWalk
