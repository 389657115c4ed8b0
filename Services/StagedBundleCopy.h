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
 * The staged folder carries a StagingMarker naming this process from the
 * moment it is made until finish(), so a copy cut short by a crash, even one
 * already renamed into place, can be told from a user's folder and from the
 * work of an instance that still runs.
 *
 * copyFrom() only touches the file system, so it may run on a worker thread
 * while the object itself stays with its owner.
 *
 *     StagedBundleCopy staged(destinationFolder, QStringLiteral("Dev Copy"));
 *     staged.copyFrom(source.bundleURL);
 *     ... change files below staged.url() ...
 *     staged.commit(finalURL);
 *     ... complete what the bundle needs once in place ...
 *     staged.finish();
 */
class StagedBundleCopy
{
public:
    /// Makes the folder ".<name, cut to 64 characters>.staging-<random>" in `destinationFolder` with its marker; throws PlatformError.
    StagedBundleCopy(const QString &destinationFolder, const QString &name);
    StagedBundleCopy(const StagedBundleCopy &) = delete;
    StagedBundleCopy &operator=(const StagedBundleCopy &) = delete;
    ~StagedBundleCopy();

    /// Where the copy is being made.
    const QString &url() const { return m_url; }

    /// Copies everything in the folder `source` into url(), sparsely; throws PlatformError.
    void copyFrom(const QString &source) const { copyInto(source, m_url); }
    /// copyFrom() for a worker thread that holds only the staged folder's location.
    static void copyInto(const QString &source, const QString &stagedURL);

    /// Moves the staged folder to `finalURL`, which must not exist (EEXIST); throws PlatformError. The marker stays until finish().
    void commit(const QString &finalURL);

    /**
     * Removes the marker from the committed copy: it is complete. A failure
     * is only logged by the next library load, which removes the marker of a
     * copy whose process has ended.
     */
    void finish() const;

private:
    QString m_url;
    bool m_committed = false;
};
