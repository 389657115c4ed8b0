// SPDX-License-Identifier: MIT
#include "TrackedBundles.h"

#include "BundleSkeleton.h"
#include "FileBookmarkService.h"
#include "FileOperations.h"
#include "JSONCoding.h"
#include "LoggingService.h"
#include "TrackedVMBundleRegistry.h"

#include <QDateTime>
#include <QFileInfo>

#include <algorithm>

using BundleSkeleton::standardizedFileURL;

TrackedBundles::TrackedBundles(QString rootURL, QString registryURL, FileBookmarkService &bookmarks, SecurityScopedAccess &access,
                               const LoggingService &logging)
    : m_rootURL(std::move(rootURL))
    , m_registryURL(std::move(registryURL))
    , m_bookmarks(bookmarks)
    , m_access(access)
    , m_logging(logging)
{
}

bool TrackedBundles::isOutsideLibraryRoot(const QString &url) const
{
    // A reload lists only the root's own entries: a bundle in a folder inside the root is found again only when tracked.
    const QString path = standardizedFileURL(url);
    const QString root = standardizedFileURL(m_rootURL);
    return path != root && QFileInfo(path).path() != root;
}

QList<TrackedVMBundleReference> TrackedBundles::readTrackedRegistry() const
{
    if (!FileOperations::itemExists(m_registryURL))
        return {};
    return sharedJSONDecoder().decode<TrackedVMBundleRegistry>(FileOperations::readFile(m_registryURL)).references;
}

void TrackedBundles::writeTrackedRegistry(const QList<TrackedVMBundleReference> &references) const
{
    FileOperations::createFolders(QFileInfo(m_registryURL).path());
    FileOperations::writeAtomically(m_registryURL, sharedJSONEncoder().encode(TrackedVMBundleRegistry{references}));
}

void TrackedBundles::trackBundle(const QString &url) const
{
    if (!isOutsideLibraryRoot(url)) {
        untrackBundle(url);
        return;
    }
    const QString path = standardizedFileURL(url);
    const QByteArray bookmark = m_bookmarks.makeBookmark(path);
    QList<TrackedVMBundleReference> references = readTrackedRegistry();
    const auto existing = std::find_if(references.begin(), references.end(), [&](const auto &entry) { return entry.lastKnownPath == path; });
    if (existing != references.end()) {
        existing->bookmarkData = bookmark;
        existing->lastKnownPath = path;
    } else {
        references.append(TrackedVMBundleReference{QUuid::createUuid(), bookmark, path, QDateTime::currentDateTimeUtc()});
    }
    writeTrackedRegistry(references);
}

void TrackedBundles::untrackBundle(const QString &url) const
{
    const QString path = standardizedFileURL(url);
    QList<TrackedVMBundleReference> references = readTrackedRegistry();
    if (references.removeIf([&](const auto &entry) { return entry.lastKnownPath == path; }) > 0)
        writeTrackedRegistry(references);
}

QList<QString> TrackedBundles::trackedBundleURLs() const
{
    QList<TrackedVMBundleReference> references = readTrackedRegistry();
    const auto logFailure = [this](const TrackedVMBundleReference &entry, const std::exception &error) {
        m_logging.log(QStringLiteral("Tracked VM bookmark could not be resolved for %1: %2").arg(entry.lastKnownPath, QString::fromUtf8(error.what())),
                      QStringLiteral("Store"));
    };

    QList<QString> urls;
    bool changed = false;
    for (TrackedVMBundleReference &entry : references) {
        ResolvedBookmark resolved;
        try {
            resolved = m_bookmarks.resolveBookmark(entry.bookmarkData);
        } catch (const std::exception &error) {
            logFailure(entry, error);
            continue;
        }
        const QString location = standardizedFileURL(resolved.url);
        urls.append(location);
        if (!resolved.isStale)
            continue;
        try {
            entry.bookmarkData = m_bookmarks.makeBookmark(location);
            entry.lastKnownPath = location;
            changed = true;
        } catch (const std::exception &error) {
            logFailure(entry, error);
        }
    }
    if (changed)
        writeTrackedRegistry(references);
    return urls;
}

QString TrackedBundles::scopedLocation(const QString &url) const
{
    const QString path = standardizedFileURL(url);
    const QList<TrackedVMBundleReference> references = readTrackedRegistry();
    const auto entry = std::find_if(references.cbegin(), references.cend(), [&](const auto &reference) { return reference.lastKnownPath == path; });
    if (entry == references.cend())
        return path;

    const ResolvedBookmark resolved = m_bookmarks.resolveBookmark(entry->bookmarkData);
    const QString location = standardizedFileURL(resolved.url);
    if (resolved.isStale)
        trackBundle(location);
    return location;
}
