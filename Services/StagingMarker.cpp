// SPDX-License-Identifier: MIT
#include "StagingMarker.h"

#include "ConfinedFolder.h"
#include "DirectoryWalk.h"
#include "FileDescriptor.h"
#include "FileOperations.h"
#include "JSONCoding.h"
#include "PlatformError.h"
#include "ProcessIdentity.h"
#include "WriteSteps.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>

namespace StagingMarker {

namespace {

    /// An earlier version wrote its marker right after it made the folder; one made much later was put there by someone else.
    constexpr qint64 madeTogetherSeconds = 5;

    struct Marker {
        ProcessIdentity owner;
        /// Absent in a marker of an earlier version, which named no folder.
        std::optional<QStringList> folderNames;
    };

    QByteArray encoded(const ProcessIdentity &owner, const QStringList &folderNames)
    {
        JSONObjectWriter writer;
        writer.set("hostName", owner.hostName);
        writer.set("machineID", owner.machineID);
        writer.set("bootID", owner.bootID);
        writer.set("processID", owner.processID);
        writer.set("startTicks", owner.startTicks);
        writer.set("folderNames", folderNames);
        return sharedJSONEncoder().encodeJson(writer.take());
    }

    Marker decoded(const QByteArray &data)
    {
        const Json json = sharedJSONDecoder().parse(data);
        const JSONObjectReader reader(json);
        return {{reader.required<QString>("hostName"), reader.required<QString>("bootID"), reader.required<qint64>("processID"),
                 reader.required<quint64>("startTicks"), reader.optional<QString>("machineID").value_or(QString())},
                reader.optional<QStringList>("folderNames")};
    }

    std::optional<qint64> birthSeconds(const QString &path)
    {
        struct statx status {
        };
        if (::statx(AT_FDCWD, QFile::encodeName(path).constData(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &status) != 0
            || (status.stx_mask & STATX_BTIME) == 0)
            return std::nullopt;
        return qint64(status.stx_btime.tv_sec);
    }

    bool wasMadeWith(const QString &folder)
    {
        const std::optional<qint64> folderBorn = birthSeconds(folder);
        const std::optional<qint64> markerBorn = birthSeconds(folder + QLatin1Char('/') + fileName.toString());
        return folderBorn && markerBorn && std::llabs(*markerBorn - *folderBorn) <= madeTogetherSeconds;
    }

    bool namesFolder(const Marker &marker, const QString &folder)
    {
        if (!marker.folderNames)
            return wasMadeWith(folder);
        return marker.folderNames->contains(QFileInfo(folder).fileName());
    }

} // namespace

void write(const QString &folder, const QStringList &laterNames)
{
    const QStringList names = QStringList{QFileInfo(folder).fileName()} + laterNames;
    ConfinedFolder::open(folder).writeFileAtomically(fileName.toString(), encoded(ProcessIdentity::current(), names));
}

bool marksLeftover(const QString &folder)
{
    try {
        const Marker marker = decoded(ConfinedFolder::open(folder).readFile(fileName.toString(), maximumSize));
        return namesFolder(marker, folder) && !marker.owner.isRunning();
    } catch (const std::exception &) {
        return false;
    }
}

bool isUnfinished(const QString &folder)
{
    try {
        const ConfinedFolder confined = ConfinedFolder::open(folder);
        // The temporary name an atomic write of the marker gives its file.
        const QString temporaryPrefix = QLatin1Char('.') + fileName.toString() + QLatin1Char('.');
        for (const ConfinedFolder::Entry &entry : confined.entries()) {
            if (!entry.status || entry.status->kind != ItemAttributes::Status::Kind::file || entry.status->size > quint64(maximumSize))
                return false;
            if (entry.name == fileName) {
                try {
                    decoded(confined.readFile(entry.name, maximumSize));
                    return false;
                } catch (const std::exception &) {
                    continue; // cut short while it was written
                }
            }
            if (!entry.name.startsWith(temporaryPrefix))
                return false;
        }
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

void remove(const QString &folder)
{
    const ConfinedFolder confined = ConfinedFolder::open(folder);
    if (confined.contains(fileName.toString()))
        confined.removeFile(fileName.toString());
}

void removeMarkedFolder(const QString &folder)
{
    WriteSteps::reach(WriteSteps::Step::remove, folder);
    const QByteArray nativeFolder = QFile::encodeName(folder);
    const FileDescriptor opened(::open(nativeFolder.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!opened.isValid())
        throw PlatformError::posix(errno, folder);
    const QString markerPath = folder + QLatin1Char('/') + fileName.toString();
    // Content before its folder, each item relative to its open folder, as FileOperations::removeItem does; the marker is kept for last.
    DirectoryWalk::forEachItemBelow(folder, {}, [&](const DirectoryWalk::Item &item) {
        if (item.path == markerPath)
            return;
        WriteSteps::reach(WriteSteps::Step::remove, item.path);
        if (::unlinkat(item.folderDescriptor, item.name.constData(), S_ISDIR(item.status.st_mode) ? AT_REMOVEDIR : 0) != 0 && errno != ENOENT)
            throw PlatformError::posix(errno, item.path);
    });
    WriteSteps::reach(WriteSteps::Step::remove, markerPath);
    if (::unlinkat(opened.get(), QFile::encodeName(fileName.toString()).constData(), 0) != 0 && errno != ENOENT)
        throw PlatformError::posix(errno, markerPath);
    if (::rmdir(nativeFolder.constData()) != 0)
        throw PlatformError::posix(errno, folder);
}

void removeMarkedFolderQuietly(const QString &folder) noexcept
{
    try {
        if (FileOperations::isFolder(folder))
            removeMarkedFolder(folder);
    } catch (const std::exception &) {
        // What is left keeps its marker, or is an empty folder: the next library load removes either.
    }
}

} // namespace StagingMarker
