// SPDX-License-Identifier: MIT
#include "BundleQuarantine.h"

#include "DirectoryWalk.h"
#include "ExtendedAttributes.h"
#include "FileOperations.h"
#include "GuestWrittenContent.h"
#include "PlatformError.h"

#include <QFile>

#include <sys/stat.h>

namespace BundleQuarantine {

namespace {

    void removeQuietly(const QString &path)
    {
        try {
            ExtendedAttributes::removeQuarantine(path);
        } catch (const PlatformError &) {
            // The item keeps its mark; see the header.
        }
    }

} // namespace

void removeBelow(const QString &folder)
{
    QStringList names;
    try {
        names = FileOperations::folderEntries(folder);
    } catch (const PlatformError &) {
        return;
    }
    for (const QString &name : std::as_const(names)) {
        if (name.startsWith(QLatin1Char('.')) || GuestWrittenContent::contains(name))
            continue;
        const QString path = folder + QLatin1Char('/') + name;
        struct stat status {
        };
        if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
            continue;
        if (S_ISDIR(status.st_mode)) {
            DirectoryWalk::forEachItemBelow(path, {.hidden = DirectoryWalk::HiddenItems::skip, .failures = DirectoryWalk::Failures::passedOver},
                                            [](const DirectoryWalk::Item &item) { removeQuietly(item.path); });
        }
        removeQuietly(path);
    }
}

} // namespace BundleQuarantine
