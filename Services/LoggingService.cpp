// SPDX-License-Identifier: MIT
#include "LoggingService.h"

#include "AppDirectories.h"
#include "FileDescriptor.h"
#include "FileOperations.h"
#include "PlatformError.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>

namespace {

void printToStandardOutput(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

} // namespace

void LoggingService::log(const QString &message, const QString &category, const QString &bundleURL) const noexcept
{
    try {
        const QString line = formatLine(message, category);
        printToStandardOutput(line.toUtf8());
        try {
            append(line, logFileURL(bundleURL));
        } catch (const std::exception &error) {
            printToStandardOutput(QByteArray("[Logging] Failed to write log: ") + error.what() + '\n');
        }
    } catch (...) {
        // Logging must never take its caller down, not even on allocation failure.
    }
}

QString LoggingService::logFileURL(const QString &bundleURL) const
{
    if (!bundleURL.isEmpty() && QFileInfo(bundleURL).isDir()) {
        const QString logs = bundleURL + QStringLiteral("/Logs");
        if (!QDir().mkpath(logs))
            throw PlatformError::posix(EACCES, logs);
        return logs + QStringLiteral("/duvuzodovevav.log");
    }
    return AppDirectories::logsDirectory() + QStringLiteral("/app.log");
}

void LoggingService::append(const QString &line, const QString &filePath)
{
    const FileDescriptor file(::open(QFile::encodeName(filePath).constData(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!file.isValid())
        throw PlatformError::posix(errno, filePath);
    FileOperations::writeAll(file.get(), line.toUtf8(), filePath);
}

QString LoggingService::formatLine(const QString &message, const QString &category)
{
    const QString timestamp = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    return QLatin1Char('[') + timestamp + QStringLiteral("] [") + category + QStringLiteral("] ") + message + QLatin1Char('\n');
}
