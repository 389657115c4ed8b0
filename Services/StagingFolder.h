// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/**
 * A hidden folder, ".<name>.staging-<random>", in which work makes its
 * result before moving it to its place beside the folder. It carries a
 * StagingMarker naming this process from the moment it is made until it is
 * removed, its marker last, when the object goes out of scope, so whatever
 * a crash leaves in it, at any point, is recognised and removed by the next
 * library load, and never taken for the work of an instance that still runs.
 *
 * Removing it is quick once the result has been moved out; work that fails
 * removes its partial result itself, off the GUI thread.
 *
 *     const StagingFolder staging(destinationFolder, QStringLiteral("Dev.vmarchive"));
 *     const QString partial = staging.pathOf(QStringLiteral("Dev.vmarchive"));
 *     ... write partial, then move it to its place ...
 */
class StagingFolder
{
public:
    /// Makes the folder with its marker; throws PlatformError.
    StagingFolder(const QString &destinationFolder, const QString &name);
    StagingFolder(const StagingFolder &) = delete;
    StagingFolder &operator=(const StagingFolder &) = delete;
    ~StagingFolder();

    const QString &url() const { return m_url; }
    QString pathOf(const QString &name) const { return m_url + QLatin1Char('/') + name; }

    /// Makes such a folder, owner-only, with its marker, for an owner that removes it itself (StagingMarker::removeMarkedFolder); throws PlatformError.
    static QString create(const QString &destinationFolder, const QString &name);

private:
    QString m_url;
};
