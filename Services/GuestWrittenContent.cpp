// SPDX-License-Identifier: MIT
#include "GuestWrittenContent.h"

#include "DirectoryWalk.h"
#include "FileDescriptor.h"
#include "PlatformError.h"
#include "VMBundle.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace GuestWrittenContent {

namespace {

    QString folderName() { return VMBundle::Layout::automationDirectoryName.toString(); }

    void openForReading(const DirectoryWalk::Item &item)
    {
        if (!S_ISREG(item.status.st_mode))
            return; // folders are listed by the walk itself; links are copied as links, and the rest is not copied at all
        // O_NONBLOCK: a FIFO swapped in since the walk examined the item must not hang the open.
        const FileDescriptor file(::openat(item.folderDescriptor, item.name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (!file.isValid() && errno != ENOENT)
            throw PlatformError::posix(errno, item.path);
    }

} // namespace

bool contains(const QString &relativePath)
{
    const QString folder = folderName();
    return relativePath == folder || relativePath.startsWith(folder + QLatin1Char('/'));
}

std::optional<QString> unreadableItem(const QString &bundleURL)
{
    const QString folder = bundleURL + QLatin1Char('/') + folderName();
    struct stat status {
    };
    if (::lstat(QFile::encodeName(folder).constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        return std::nullopt; // missing, or a link or file that a copy takes over as it is
    try {
        DirectoryWalk::forEachItemBelow(folder, {.hidden = DirectoryWalk::HiddenItems::visit, .failures = DirectoryWalk::Failures::thrown},
                                        &openForReading);
    } catch (const PlatformError &error) {
        const QString item = error.path().startsWith(bundleURL + QLatin1Char('/')) ? error.path().mid(bundleURL.size() + 1) : folderName();
        return QStringLiteral("\"%1\" in the VM's shared automation folder cannot be read (%2). The guest wrote it there; make it readable "
                              "or remove it, then try again.")
            .arg(item, QString::fromLocal8Bit(std::strerror(error.code())));
    }
    return std::nullopt;
}

} // namespace GuestWrittenContent
