// SPDX-License-Identifier: MIT
#include "ItemReplacement.h"

#include "FileOperations.h"
#include "PlatformError.h"

#include <QFile>
#include <QUuid>

#include <fcntl.h>
#include <stdio.h>

#include <cerrno>

namespace ItemReplacement {

namespace {

    QByteArray native(const QString &path) { return QFile::encodeName(path); }

    int renameWithFlags(const QString &from, const QString &to, unsigned int flags)
    {
        return ::renameat2(AT_FDCWD, native(from).constData(), AT_FDCWD, native(to).constData(), flags) == 0 ? 0 : errno;
    }

    bool unsupported(int error) { return error == EINVAL || error == ENOSYS || error == ENOTSUP; }

    void removeQuietly(const QString &path)
    {
        try {
            FileOperations::removeItem(path);
        } catch (const PlatformError &) {
            // The replacement is in place; what is left of the old item is only clutter.
        }
    }

    /// A hidden name beside `path` that nothing uses yet.
    QString asideName(const QString &path)
    {
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        return path.left(slash + 1) + QLatin1Char('.') + path.mid(slash + 1) + QStringLiteral(".replaced-")
            + QUuid::createUuid().toString(QUuid::WithoutBraces);
    }

    /// For file systems without an exchange: old target aside, replacement in, old target removed.
    void replaceInTwoSteps(const QString &replacement, const QString &target, const QString &aside)
    {
        moveWithoutReplacing(target, aside);
        if (const int error = renameWithFlags(replacement, target, RENAME_NOREPLACE); error != 0) {
            renameWithFlags(aside, target, RENAME_NOREPLACE);
            throw PlatformError::posix(error, target);
        }
        removeQuietly(aside);
    }

} // namespace

void moveWithoutReplacing(const QString &item, const QString &destination)
{
    int error = renameWithFlags(item, destination, RENAME_NOREPLACE);
    if (unsupported(error)) {
        // This file system cannot refuse an existing destination by itself: check first, leaving a short race.
        if (FileOperations::itemExists(destination))
            error = EEXIST;
        else
            error = ::rename(native(item).constData(), native(destination).constData()) == 0 ? 0 : errno;
    }
    if (error != 0)
        throw PlatformError::posix(error, error == EEXIST ? destination : item);
}

void replace(const QString &replacement, const QString &target)
{
    replace(replacement, target, asideName(target));
}

void replace(const QString &replacement, const QString &target, const QString &aside)
{
    const int error = renameWithFlags(replacement, target, RENAME_NOREPLACE);
    if (error == 0)
        return;
    if (error != EEXIST && !unsupported(error))
        throw PlatformError::posix(error, replacement);
    if (!FileOperations::itemExists(target)) {
        moveWithoutReplacing(replacement, target);
        return;
    }
    const int exchangeError = renameWithFlags(replacement, target, RENAME_EXCHANGE);
    if (exchangeError == 0) {
        removeQuietly(replacement);
        return;
    }
    if (!unsupported(exchangeError))
        throw PlatformError::posix(exchangeError, target);
    replaceInTwoSteps(replacement, target, aside);
}

} // namespace ItemReplacement
