// SPDX-License-Identifier: MIT
#include "SavedStateOrigin.h"

#include "FileOperations.h"
#include "JSONCoding.h"
#include "PlatformError.h"

#include <QFile>

#include <cerrno>
#include <sys/stat.h>

namespace {

const QString originFileName = QStringLiteral("Origin.json");

struct Origin {
    QUuid vmID;
    quint64 folderInode = 0;
};

void to_json(Json &json, const Origin &origin)
{
    JSONObjectWriter writer;
    writer.set("folderInode", origin.folderInode);
    writer.set("vmID", origin.vmID);
    json = writer.take();
}

void from_json(const Json &json, Origin &origin)
{
    const JSONObjectReader reader(json);
    origin.folderInode = reader.required<quint64>("folderInode");
    origin.vmID = reader.required<QUuid>("vmID");
}

QString originURL(const VMBundle &bundle)
{
    return bundle.layout().savedStateDirectoryURL() + QLatin1Char('/') + originFileName;
}

quint64 folderInode(const QString &folder)
{
    struct stat status {
    };
    if (::stat(QFile::encodeName(folder).constData(), &status) != 0)
        throw PlatformError::posix(errno, folder);
    return quint64(status.st_ino);
}

Origin originOf(const VMBundle &bundle)
{
    return {bundle.id(), folderInode(bundle.bundleURL)};
}

} // namespace

void SavedStateOrigin::record(const VMBundle &bundle)
{
    FileOperations::writeAtomically(originURL(bundle), sharedJSONEncoder().encode(originOf(bundle)));
}

bool SavedStateOrigin::isFromAnotherBundle(const VMBundle &bundle)
{
    try {
        const QString url = originURL(bundle);
        if (!FileOperations::itemExists(url))
            return false;
        const Origin recorded = sharedJSONDecoder().decode<Origin>(FileOperations::readFile(url, 4096));
        const Origin current = originOf(bundle);
        return recorded.vmID != current.vmID || recorded.folderInode != current.folderInode;
    } catch (const std::exception &) {
        return false;
    }
}

void SavedStateOrigin::forget(const VMBundle &bundle) noexcept
{
    try {
        const QString url = originURL(bundle);
        if (FileOperations::itemExists(url))
            FileOperations::removeItem(url);
    } catch (const std::exception &) {
        // An origin left behind names this bundle or the one it was copied from; the restore decides then.
    }
}
