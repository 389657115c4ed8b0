// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>

/**
 * Dotted version strings such as "14.4.1", compared component by component
 * as base-10 integers. Pieces that are not integers ("0b2") are skipped and
 * a missing component counts as 0, so "14" and "14.0.0" are the same and
 * "14.10" comes after "14.9".
 */
namespace VersionString {

/// The integer pieces between the dots, in order; empty and non-numeric pieces are dropped.
QList<qint64> components(const QString &version);

/// The first component, or 0 when there is none.
qint64 majorNumber(const QString &version);

/// -1 when `left` is older, 0 when the same, +1 when newer.
int compare(const QString &left, const QString &right);

/// "major.minor", with ".patch" only when the patch is 1 or more: 14.0.0 gives "14.0", 14.2.1 gives "14.2.1".
QString fromComponents(qint64 major, qint64 minor, qint64 patch);

/// Digits separated by single dots ("15", "14.6.1"): the only versions taken from a feed, since they end up in file names.
bool isWellFormedVersion(const QString &version);

/// Letters and digits only ("23G93"): the only builds taken from a feed.
bool isWellFormedBuild(const QString &build);

} // namespace VersionString
