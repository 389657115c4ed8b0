// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/**
 * A copy of a bundle folder made under a hidden temporary name in its
 * destination folder and moved to its final name only once complete, so a
 * half-made copy never looks like a bundle (the library scan skips hidden
 * names) and a failed one leaves nothing behind: unless committed, the
 * staged folder is removed when the object goes out of scope.
 *
 * copyFrom() only touches the file system, so it may run on a worker thread
 * while the object itself stays with its owner.
 *
 *     StagedBundleCopy staged(destinationFolder, QStringLiteral("Dev Copy"));
 *     staged.copyFrom(source.bundleURL);
 *     ... change files below staged.url() ...
 *     staged.commit(finalURL);
 */
class StagedBundleCopy
{
public:
    /// Reserves ".<name, cut to 64 characters>.staging-<random>" in `destinationFolder`; nothing is created yet.
    StagedBundleCopy(const QString &destinationFolder, const QString &name);
    StagedBundleCopy(const StagedBundleCopy &) = delete;
    StagedBundleCopy &operator=(const StagedBundleCopy &) = delete;
    ~StagedBundleCopy();

    /// Where the copy is being made.
    const QString &url() const { return m_url; }

    /// Copies the folder `source` with everything in it to url(), sparsely; throws PlatformError.
    void copyFrom(const QString &source) const;

    /// Moves the staged folder to `finalURL`, which must not exist (EEXIST); throws PlatformError.
    void commit(const QString &finalURL);

private:
    QString m_url;
    bool m_committed = false;
};
