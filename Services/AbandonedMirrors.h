// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QSet>
#include <QString>

#include <optional>

class LoggingService;

/**
 * The protection mirrors (ProtectionMirror) of bundles that are gone: a
 * bundle folder deleted by hand leaves its mirror in the hidden folder
 * beside it, and the mirror's hard link keeps the whole disk image on the
 * disk.
 *
 * A mirror is abandoned only when nothing at all is at its bundle's place
 * and the library lists no bundle there: a tracked bundle whose disk is
 * unplugged keeps its mirror, and so does a bundle folder that cannot be
 * looked at. An abandoned mirror goes in two steps. claim() renames it, in
 * one step, to a hidden name that nothing reads, on the GUI thread, where
 * the library saves and deletes bundles, so that no bundle saved meanwhile
 * under that name loses its fresh mirror and no load cut short leaves half
 * a mirror under a bundle's name; remove() then removes it on any thread.
 * A claimed mirror that a crash left behind is removed by the next load
 * (LeftoverSweeper). The mirror folder itself and anything else in it stay.
 */
namespace AbandonedMirrors {

/// The mirrors beside the bundles of `folder` whose bundle was gone when they were listed and that `listed` does not name; any thread.
QList<QString> find(const QString &folder, const QSet<QString> &listed);

/// Renames an abandoned `mirror` out of its bundle's name, when its bundle is still gone and not in `listed`; where it lies now.
std::optional<QString> claim(const QString &mirror, const QSet<QString> &listed, const LoggingService &logging);

/// Removes mirrors that claim() took, logging each; nothing is thrown. Any thread.
void remove(const QList<QString> &claimed, const LoggingService *logging);

/// Whether `name` is one that claim() gives, in a mirror folder.
bool isClaimedName(const QString &name);

} // namespace AbandonedMirrors
