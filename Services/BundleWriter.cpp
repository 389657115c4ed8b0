// SPDX-License-Identifier: MIT
#include "BundleWriter.h"

#include "BundleQuarantine.h"
#include "BundleSkeleton.h"
#include "FileOperations.h"
#include "JSONCoding.h"
#include "ProtectionMirror.h"
#include "TrackedBundles.h"
#include "VMBundle.h"

#include <QDir>

namespace {

void removeIfPresent(const QString &path)
{
    if (FileOperations::itemExists(path))
        FileOperations::removeItem(path);
}

/// Leaves the folder in place but empty, hidden entries included.
void emptyFolder(const QString &folder)
{
    if (!FileOperations::itemExists(folder))
        return;
    for (const QString &name : FileOperations::folderEntries(folder))
        FileOperations::removeItem(folder + QLatin1Char('/') + name);
}

} // namespace

BundleWriter::BundleWriter(const ProtectionMirror &mirror, const TrackedBundles &tracked)
    : m_mirror(mirror)
    , m_tracked(tracked)
{
}

void BundleWriter::writeBundle(const VMBundle &bundle) const
{
    const VMBundle::Layout layout = bundle.layout();
    const JSONEncoder &encoder = sharedJSONEncoder();

    BundleSkeleton::ensureStandardSubfolders(bundle.bundleURL);
    BundleSkeleton::markBundleFolder(bundle.bundleURL);
    FileOperations::writeAtomically(layout.metadataURL(), encoder.encode(bundle.metadata));
    FileOperations::writeAtomically(layout.sharedFoldersURL(), encoder.encode(bundle.sharedFolders));

    if (bundle.firstBootConfig && bundle.firstBootConfig->enabled) {
        FileOperations::writeAtomically(layout.firstBootManifestURL(), encoder.encode(*bundle.firstBootConfig));
    } else {
        removeIfPresent(layout.firstBootManifestURL());
        emptyFolder(layout.bootstrapDirectoryURL());
    }

    if (bundle.metadata.restoreImageInfo)
        FileOperations::writeAtomically(layout.restoreImageInfoURL(), encoder.encode(*bundle.metadata.restoreImageInfo));
    else
        removeIfPresent(layout.restoreImageInfoURL());

    BundleQuarantine::removeBelow(bundle.bundleURL);
    m_mirror.refreshProtection(bundle);
    BundleQuarantine::removeBelow(ProtectionMirror::mirrorURL(bundle.bundleURL));
    m_tracked.trackBundle(bundle.bundleURL);
}
