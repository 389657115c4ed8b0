// SPDX-License-Identifier: MIT
#include "FileBookmarkService.h"

#include "JSONCoding.h"
#include "MountTable.h"
#include "PlatformError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include <cerrno>
#include <optional>

namespace {

constexpr char bookmarkFormat[] = "zovozu-bookmark";
constexpr qint64 bookmarkVersion = 1;

/// The file domain's code for data that is not in the expected format.
constexpr int fileReadCorruptFile = 259;

struct Bookmark {
    QString path;
    quint64 device = 0;
    quint64 inode = 0;
    QString fileSystemId;
    /// The item's path inside its file system, from that file system's root folder.
    QString pathInFileSystem;
};

void to_json(Json &json, const Bookmark &bookmark)
{
    JSONObjectWriter writer;
    writer.set("format", QString::fromLatin1(bookmarkFormat));
    writer.set("version", bookmarkVersion);
    writer.set("path", bookmark.path);
    writer.set("device", bookmark.device);
    writer.set("inode", bookmark.inode);
    writer.set("fileSystem", bookmark.fileSystemId);
    writer.set("pathInFileSystem", bookmark.pathInFileSystem);
    json = writer.take();
}

void from_json(const Json &json, Bookmark &bookmark)
{
    const JSONObjectReader reader(json);
    if (reader.required<QString>("format") != QLatin1String(bookmarkFormat) || reader.required<qint64>("version") != bookmarkVersion)
        throw JSONDecodingError(JSONDecodingError::Kind::dataCorrupted, "Not a bookmark of this version");
    bookmark.path = reader.required<QString>("path");
    bookmark.device = reader.required<quint64>("device");
    bookmark.inode = reader.required<quint64>("inode");
    bookmark.fileSystemId = reader.required<QString>("fileSystem");
    bookmark.pathInFileSystem = reader.required<QString>("pathInFileSystem");
}

PlatformError notABookmark()
{
    return PlatformError(
        PlatformError::Domain::file, fileReadCorruptFile, QStringLiteral("The bookmark data isn’t in the correct format."));
}

QByteArray encode(const Bookmark &bookmark)
{
    return sharedJSONEncoder().encode(bookmark);
}

Bookmark decode(const QByteArray &data)
{
    try {
        return sharedJSONDecoder().decode<Bookmark>(data);
    } catch (const JSONDecodingError &) {
        throw notABookmark();
    }
}

std::optional<struct stat> statusOf(const QString &path)
{
    struct stat status {
    };
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return status;
}

/// `path` relative to `folder` ("" for the folder itself), or nothing when it lies outside.
std::optional<QString> relativePath(const QString &path, const QString &folder)
{
    if (path == folder)
        return QString();
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    if (!path.startsWith(prefix))
        return std::nullopt;
    return path.mid(prefix.size());
}

QString joined(const QString &folder, const QString &relative)
{
    return relative.isEmpty() ? folder : QDir::cleanPath(folder + QLatin1Char('/') + relative);
}

/// The mount holding `path`: the deepest mount point above it, the latest listed among equals.
std::optional<MountPoint> mountHolding(const QString &path, const QList<MountPoint> &mounts)
{
    std::optional<MountPoint> best;
    for (const MountPoint &mount : mounts) {
        if (relativePath(path, mount.mountPoint) && (!best || mount.mountPoint.size() >= best->mountPoint.size()))
            best = mount;
    }
    return best;
}

/// Where the item would be on each current mount of its file system, in table order, without repeats.
QStringList placesOnMounts(const Bookmark &bookmark, const QList<MountPoint> &mounts)
{
    QStringList places;
    if (bookmark.fileSystemId.isEmpty())
        return places;
    for (const MountPoint &mount : mounts) {
        if (mount.fileSystemId != bookmark.fileSystemId)
            continue;
        const std::optional<QString> inside = relativePath(bookmark.pathInFileSystem, mount.root);
        if (!inside)
            continue;
        const QString place = joined(mount.mountPoint, *inside);
        if (!places.contains(place))
            places.append(place);
    }
    return places;
}

} // namespace

FileBookmarkService::FileBookmarkService(MountTableSource mounts)
    : m_mounts(mounts ? std::move(mounts) : MountTableSource(&MountTable::current))
{
}

QByteArray FileBookmarkService::makeBookmark(const QString &path) const
{
    const QString absolutePath = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QByteArray nativePath = QFile::encodeName(absolutePath);
    struct stat status {
    };
    if (::stat(nativePath.constData(), &status) != 0)
        throw PlatformError::posix(errno, absolutePath);

    Bookmark bookmark { absolutePath, quint64(status.st_dev), quint64(status.st_ino), {}, {} };
    // The mount is found by the real path: a link in the path may lead onto another file system.
    const QString canonicalPath = QFileInfo(absolutePath).canonicalFilePath();
    const QString realPath = canonicalPath.isEmpty() ? absolutePath : canonicalPath;
    if (const std::optional<MountPoint> mount = mountHolding(realPath, m_mounts())) {
        bookmark.fileSystemId = mount->fileSystemId;
        bookmark.pathInFileSystem = joined(mount->root, *relativePath(realPath, mount->mountPoint));
    }
    return encode(bookmark);
}

ResolvedBookmark FileBookmarkService::resolveBookmark(const QByteArray &bookmarkData) const
{
    const Bookmark bookmark = decode(bookmarkData);
    const auto isBookmarkedItem
        = [&bookmark](const std::optional<struct stat> &status) { return status && quint64(status->st_ino) == bookmark.inode; };

    const std::optional<struct stat> atStoredPath = statusOf(bookmark.path);
    if (isBookmarkedItem(atStoredPath) && quint64(atStoredPath->st_dev) == bookmark.device)
        return { bookmark.path, false };

    // The device number of a file system may change when it is mounted again, so only the inode is compared on the mounts.
    const QStringList places = placesOnMounts(bookmark, m_mounts());
    for (const QString &place : places) {
        if (isBookmarkedItem(statusOf(place)))
            return { place, true };
    }
    for (const QString &place : places) {
        if (statusOf(place))
            return { place, true };
    }
    if (atStoredPath)
        return { bookmark.path, true };
    throw PlatformError::posix(ENOENT, bookmark.path);
}
