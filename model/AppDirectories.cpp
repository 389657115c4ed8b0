// SPDX-License-Identifier: MIT
#include "AppDirectories.h"

#include "PlatformError.h"

#include <QDir>
#include <QStandardPaths>

#include <filesystem>
#include <system_error>

namespace AppDirectories {

namespace {

const QString applicationFolderName = QStringLiteral("Zovozu VM Lab");

QString standardLocation(QStandardPaths::StandardLocation location)
{
    const QString path = QStandardPaths::writableLocation(location);
    if (path.isEmpty())
        throw PlatformError(PlatformError::Domain::file, PlatformError::fileNoSuchFile,
                            QStringLiteral("The folder couldn’t be found because the system reports none for this user."));
    return path;
}

QString createdFolder(const QString &path)
{
    std::error_code error;
    std::filesystem::create_directories(path.toStdString(), error);
    if (error)
        throw PlatformError::posix(error.value(), path);
    return QDir::cleanPath(path);
}

} // namespace

QString applicationSupportRoot()
{
    return createdFolder(standardLocation(QStandardPaths::GenericDataLocation) + QLatin1Char('/') + applicationFolderName);
}

QString subdirectory(const QString &name)
{
    return createdFolder(applicationSupportRoot() + QLatin1Char('/') + name);
}

QString libraryRoot()
{
    return subdirectory(QStringLiteral("VirtualMachines"));
}

QString logsDirectory()
{
    return subdirectory(QStringLiteral("Logs"));
}

QString cacheDirectory()
{
    return createdFolder(standardLocation(QStandardPaths::GenericCacheLocation) + QLatin1Char('/') + applicationFolderName
                         + QStringLiteral("/RestoreImageCache"));
}

} // namespace AppDirectories

QString sanitizedFileName(const QString &text, const QString &forbidden)
{
    const QList<uint> forbiddenScalars = forbidden.toUcs4();
    QList<uint> scalars = text.toUcs4();
    for (uint &scalar : scalars) {
        if (forbiddenScalars.contains(scalar))
            scalar = '-';
    }
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(scalars.constData()), scalars.size());
}
