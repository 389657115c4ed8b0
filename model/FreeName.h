// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <functional>

/**
 * The one rule by which a name that is taken becomes a free one: the name
 * itself when it is free, else the first of "<name> 2", "<name> 3", ...
 * that is. Shared folders and imported VMs are named this way.
 *
 * @code
 * FreeName::first(QStringLiteral("My Debian"), [&](const QString &name) { return names.contains(name); });  // "My Debian 2"
 * @endcode
 */
namespace FreeName {

/// Joins a name and the suffix " <number>"; a name with a length limit shortens the name here.
using Join = std::function<QString(const QString &name, const QString &suffix)>;

QString first(const QString &name, const std::function<bool(const QString &)> &isTaken, const Join &join = {});

} // namespace FreeName
