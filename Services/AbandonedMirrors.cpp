// SPDX-License-Identifier: MIT
#include "AbandonedMirrors.h"

#include "FileOperations.h"
#include "ItemRename.h"
#include "LoggingService.h"
#include "ProtectionMirror.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <sys/stat.h>

#include <cerrno>

namespace {

/// ".<bundle name>.abandoned-<random>"
const QRegularExpression claimedName(QStringLiteral(R"(^\.(.+\.vm)\.abandoned-[0-9a-z]{1,13}$)"));

/// Nothing at all at `path`, not even a dangling link; a place that cannot be looked at is not known to be empty.
bool isGone(const QString &path)
{
    struct stat status {
    };
    return ::lstat(QFile::encodeName(path).constData(), &status) != 0 && errno == ENOENT;
}

/// The bundle a mirror belongs to: the folder of its name beside the mirror folder.
QString bundleOf(const QString &mirror)
{
    const QFileInfo info(mirror);
    return QFileInfo(info.path()).path() + QLatin1Char('/') + info.fileName();
}

bool isAbandoned(const QString &mirror, const QSet<QString> &listed)
{
    const QString bundle = bundleOf(mirror);
    return !listed.contains(bundle) && isGone(bundle) && FileOperations::isFolder(mirror);
}

void log(const LoggingService &logging, const QString &message)
{
    logging.log(message, QStringLiteral("Store"));
}

} // namespace

namespace AbandonedMirrors {

QList<QString> find(const QString &folder, const QSet<QString> &listed)
{
    const QString mirrorRoot = ProtectionMirror::mirrorRootIn(folder);
    QList<QString> abandoned;
    if (!FileOperations::isFolder(mirrorRoot))
        return abandoned;
    try {
        for (const QString &name : FileOperations::folderEntries(mirrorRoot)) {
            const QString mirror = mirrorRoot + QLatin1Char('/') + name;
            if (!name.startsWith(QLatin1Char('.')) && name.endsWith(QStringLiteral(".vm")) && isAbandoned(mirror, listed))
                abandoned.append(mirror);
        }
    } catch (const std::exception &) {
        // A folder that cannot be listed keeps what is in it.
    }
    return abandoned;
}

std::optional<QString> claim(const QString &mirror, const QSet<QString> &listed, const LoggingService &logging)
{
    if (!isAbandoned(mirror, listed) || !FileOperations::isFolder(QFileInfo(mirror).path()))
        return std::nullopt;
    const QFileInfo info(mirror);
    const QString claimed = info.path() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".abandoned-")
        + QString::number(QRandomGenerator::global()->generate64() >> 1, 36);
    try {
        ItemRename::rename(mirror, claimed);
    } catch (const std::exception &error) {
        log(logging,
            QStringLiteral("Could not remove the protection mirror of %1, whose bundle is gone: %2")
                .arg(bundleOf(mirror), QString::fromUtf8(error.what())));
        return std::nullopt;
    }
    return claimed;
}

void remove(const QList<QString> &claimed, const LoggingService *logging)
{
    for (const QString &mirror : claimed) {
        const QFileInfo info(mirror);
        const QString bundle = QFileInfo(info.path()).path() + QLatin1Char('/') + claimedName.match(info.fileName()).captured(1);
        try {
            FileOperations::removeItem(mirror);
            log(*logging,
                QStringLiteral("Removed the protection mirror of %1: the bundle is gone and the library no longer lists it").arg(bundle));
        } catch (const std::exception &error) {
            log(*logging,
                QStringLiteral("Could not remove the protection mirror of %1, whose bundle is gone: %2")
                    .arg(bundle, QString::fromUtf8(error.what())));
        }
    }
}

bool isClaimedName(const QString &name)
{
    return claimedName.match(name).hasMatch();
}

} // namespace AbandonedMirrors
