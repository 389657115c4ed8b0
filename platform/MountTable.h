// SPDX-License-Identifier: MIT
#pragma once

#include "MountPoint.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

/**
 * The file systems mounted for this process, read from /proc/self/mountinfo,
 * each named by its UUID from /dev/disk/by-uuid where there is one.
 */
namespace MountTable {

/**
 * The mounts listed in mountinfo text, in table order (a later mount on the
 * same point covers an earlier one). `uuidByDevice` maps "major:minor" to a
 * UUID. Malformed lines are skipped.
 */
QList<MountPoint> parse(const QByteArray &mountinfo, const QHash<QString, QString> &uuidByDevice);

/// "major:minor" of each block device in `folder` (symbolic links named by UUID) mapped to that UUID.
QHash<QString, QString> uuidsByDevice(const QString &folder = QStringLiteral("/dev/disk/by-uuid"));

/// The mounts of this process now; empty when the table cannot be read.
QList<MountPoint> current();

} // namespace MountTable
