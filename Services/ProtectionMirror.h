// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class LoggingService;
struct VMBundle;

/**
 * A hidden copy of each bundle's vital files kept beside the bundle, in
 * "<parent>/.DuvuzodOvevavProtection/<name>.vm", so that a bundle whose
 * metadata or machine files were deleted can be repaired when it is loaded.
 *
 * The small JSON files are copied; the large files (disk image, auxiliary
 * storage, machine identity) are hard links, which cost no space and keep
 * the data reachable when the bundle's own name for it is deleted. Where a
 * link cannot be made, the file is copied sparsely instead. Every item is
 * replaced by a rename, so a refresh cut short leaves the old item or the
 * new one, never none.
 *
 * The mirror is never followed out of its folder: a link in place of the
 * mirror folders is replaced by a real folder when refreshing, and the
 * repair takes only regular files from real folders of the mirror, so a
 * planted link cannot make it link a file from elsewhere into the bundle.
 */
class ProtectionMirror
{
public:
    explicit ProtectionMirror(const LoggingService &logging);

    static QString mirrorRootURL(const QString &bundleURL);
    /// The mirror folder of the bundles in `folder`.
    static QString mirrorRootIn(const QString &folder);
    static QString mirrorURL(const QString &bundleURL);

    /// Brings the mirror up to date after a full write; the first failure is thrown.
    void refreshProtection(const VMBundle &bundle) const;

    /**
     * Restores the items the bundle lacks from its mirror, never overwriting
     * one that is present. True when the bundle has its Metadata.json
     * afterwards; false when there is no mirror.
     */
    bool recoverProtectedFiles(const QString &bundleURL) const;

private:
    const LoggingService &m_logging;
};
