// SPDX-License-Identifier: MIT
#pragma once

#include "SecurityScope.h"
#include "TrackedVMBundleReference.h"

#include <QList>
#include <QString>

#include <type_traits>
#include <utility>

class FileBookmarkService;
class LoggingService;

/**
 * The bundles kept outside the library root, or deeper inside it than its
 * own entries, remembered by bookmark in TrackedBundles.json so that the
 * library finds them again at the next start (also when their disk is
 * mounted elsewhere by then).
 *
 * Entries are keyed by the bundle folder's standardized path, compared as
 * exact text. The registry file is rewritten whole on every change; a file
 * that cannot be read or decoded fails every operation and is never
 * overwritten. Used by the library store on the GUI thread only.
 */
class TrackedBundles
{
public:
    TrackedBundles(QString rootURL, QString registryURL, FileBookmarkService &bookmarks, SecurityScopedAccess &access,
                   const LoggingService &logging);

    const QString &rootURL() const { return m_rootURL; }
    const QString &registryURL() const { return m_registryURL; }

    /**
     * False only for the library root and its own entries, which a reload
     * finds by listing the root. Anything else is tracked: a sibling such as
     * "VirtualMachinesExtra", and a bundle in a folder inside the root too.
     */
    bool isOutsideLibraryRoot(const QString &url) const;

    /// The registry's entries; a missing file is an empty registry.
    QList<TrackedVMBundleReference> readTrackedRegistry() const;
    void writeTrackedRegistry(const QList<TrackedVMBundleReference> &references) const;

    /// Remembers a bundle outside the root (refreshing its bookmark when already known); forgets one inside it.
    void trackBundle(const QString &url) const;
    /// Forgets every entry of the bundle's path; the file is only rewritten when something was removed.
    void untrackBundle(const QString &url) const;

    /**
     * The tracked bundles that can be found now, in registry order. Entries
     * that cannot be resolved are logged and skipped (they stay registered);
     * stale bookmarks are renewed and the registry rewritten once.
     */
    QList<QString> trackedBundleURLs() const;

    /**
     * Runs `work` inside the security scope of the bundle at `url`: through
     * its tracked bookmark when it has one (renewed first when stale), else on
     * the location itself. Returns what `work` returns; a registry or
     * bookmark failure is thrown before the work runs.
     */
    template <typename Work>
    std::invoke_result_t<Work> withTrackedSecurityScope(const QString &url, Work &&work) const
    {
        const QString location = scopedLocation(url);
        const SecurityScope scope(m_access, location);
        return std::forward<Work>(work)();
    }

    /// Where access must be opened for the bundle at `url`, after renewing a stale bookmark; for holding access across a wait.
    QString scopedLocation(const QString &url) const;

private:
    QString m_rootURL;
    QString m_registryURL;
    FileBookmarkService &m_bookmarks;
    SecurityScopedAccess &m_access;
    const LoggingService &m_logging;
};
