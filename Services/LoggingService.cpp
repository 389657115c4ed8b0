// SPDX-License-Identifier: MIT
#include "LoggingService.h"

#include "AppDirectories.h"
#include "ConfinedFolder.h"
#include "FileDescriptor.h"
#include "FileOperations.h"
#include "PlatformError.h"

#include <QDateTime>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <optional>

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
            if (bundleURL.isEmpty())
                appendToApplicationLog(line);
            else
                appendToBundleLog(line, bundleURL);
        } catch (const std::exception &error) {
            printToStandardOutput(QByteArray("[Logging] Failed to write log: ") + error.what() + '\n');
        }
    } catch (...) {
        // Logging must never take its caller down, not even on allocation failure.
    }
}

void LoggingService::appendToBundleLog(const QString &line, const QString &bundleURL)
{
    std::optional<ConfinedFolder> bundle;
    try {
        bundle.emplace(ConfinedFolder::open(bundleURL));
    } catch (const PlatformError &) {
        return appendToApplicationLog(line);
    }
    bundle->createSubfolder(QStringLiteral("Logs")).appendToFile(QStringLiteral("duvuzodovevav.log"), line.toUtf8());
}

void LoggingService::appendToApplicationLog(const QString &line)
{
    const QString logs = AppDirectories::logsDirectory();
    const QString path = logs + QStringLiteral("/app.log");
    const FileDescriptor file(::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!file.isValid())
        throw PlatformError::posix(errno, path);
    FileOperations::writeAll(file.get(), line.toUtf8(), path);
}

QString LoggingService::formatLine(const QString &message, const QString &category)
{
    QString escaped;
    escaped.reserve(message.size());
    for (const QChar character : message) {
        if (character == QLatin1Char('\n'))
            escaped += QStringLiteral("\\n");
        else if (character == QLatin1Char('\r'))
            escaped += QStringLiteral("\\r");
        else if (character == QLatin1Char('\t'))
            escaped += QStringLiteral("\\t");
        else if (character.category() == QChar::Other_Control || character == QChar::LineSeparator || character == QChar::ParagraphSeparator)
            escaped += QStringLiteral("\\u%1").arg(character.unicode(), 4, 16, QLatin1Char('0'));
        else
            escaped += character;
    }
    const QString timestamp = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    return QLatin1Char('[') + timestamp + QStringLiteral("] [") + category + QStringLiteral("] ") + escaped + QLatin1Char('\n');
}
