// SPDX-License-Identifier: MIT
#include "VMFirstBootService.h"

#include "ConfinedFolder.h"
#include "FileOperations.h"
#include "ItemAttributes.h"
#include "LoggingService.h"
#include "SparseCopy.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace {

const QString category = QStringLiteral("FirstBoot");

QString joined(const QString &folder, QStringView name) { return folder + QLatin1Char('/') + name.toString(); }

/// Name and extension the way a file manager splits them: a leading or trailing dot starts no extension.
std::pair<QString, QString> splitExtension(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || dot == name.size() - 1)
        return { name, QString() };
    return { name.left(dot), name.mid(dot + 1) };
}

} // namespace

VMFirstBootService::VMFirstBootService(const LoggingService &logging, ApplicationResources resources)
    : m_logging(logging)
    , m_resources(std::move(resources))
{
}

std::optional<VMFirstBootConfig> VMFirstBootService::prepareBootstrapFolder(
    const VMBundle &bundle, const std::optional<FirstBootBootstrapRequest> &request) const
{
    const FirstBootBootstrapRequest &chosen = request ? *request : FirstBootBootstrapRequest::disabled();
    const QString bundleFolder = QDir::cleanPath(bundle.bundleURL);
    const QString folder = bundle.layout().bootstrapDirectoryURL();

    // A Bootstrap that is a link (a bundle can come from anywhere) is replaced by a real folder: emptying it must never reach the link's
    // target.
    ConfinedFolder::create(folder);
    clearFolder(folder);
    if (!chosen.isEnabled)
        return std::nullopt;

    const QString script = joined(folder, scriptFileName);
    std::optional<QString> source = chosen.scriptURL ? std::optional(chosen.scriptURL->toLocalFile()) : resourceScriptURL();
    if (source)
        copyReplacingItem(*source, script);
    else
        FileOperations::writeAtomically(script, defaultScriptText().toUtf8());
    makeExecutable(script);

    FileOperations::writeAtomically(joined(folder, readmeFileName), readmeText().toUtf8());

    QList<QString> additional;
    for (const QUrl &url : chosen.additionalFileURLs) {
        const QString file = url.toLocalFile();
        const QString destination = uniqueDestinationURL(QFileInfo(file).fileName(), folder);
        copyReplacingItem(file, destination);
        if (const auto relative = relativePath(destination, bundleFolder))
            additional.append(*relative);
    }

    m_logging.log(QStringLiteral("Prepared bootstrap folder for ") + bundle.metadata.name, category, bundle.bundleURL);

    VMFirstBootConfig config;
    config.enabled = true;
    config.scriptRelativePath = relativePath(script, bundleFolder);
    config.additionalFilesRelativePaths = additional;
    config.runOnce = true;
    config.notes = chosen.notes;
    return config;
}

void VMFirstBootService::makeExecutable(const QString &path)
{
    const ItemAttributes::Status status = ItemAttributes::status(path);
    ItemAttributes::setPermissions(path, status.permissions | 0111);
}

QString VMFirstBootService::uniqueDestinationURL(const QString &name, const QString &folder)
{
    QString cleaned = name.trimmed();
    if (cleaned.isEmpty())
        cleaned = QStringLiteral("Virtual Mac");
    for (const QChar refused : QStringView(u"/:\\?%*|\"<>"))
        cleaned.replace(refused, QLatin1Char('-'));
    cleaned = cleaned.replace(QStringLiteral("  "), QStringLiteral(" ")).trimmed();

    const auto isTaken = [&folder](const QString &candidate) {
        return candidate == manifestFileName || FileOperations::itemExists(joined(folder, candidate));
    };
    if (!isTaken(cleaned))
        return joined(folder, cleaned);
    const auto [base, extension] = splitExtension(cleaned);
    for (qint64 number = 2;; ++number) {
        QString candidate = base + QLatin1Char(' ') + QString::number(number);
        if (!extension.isEmpty())
            candidate += QLatin1Char('.') + extension;
        if (!isTaken(candidate))
            return joined(folder, candidate);
    }
}

std::optional<QString> VMFirstBootService::resourceScriptURL() const { return m_resources.resourcePath(scriptFileName.toString()); }

QString VMFirstBootService::defaultScriptText()
{
    return QStringList {
        QStringLiteral("#!/bin/zsh"),
        QString(),
        QStringLiteral("echo \"Zovozu VM Lab first-boot folder is available.\""),
        QStringLiteral("echo \"Replace this file with your own bootstrap script.\""),
    }
        .join(QLatin1Char('\n'));
}

QString VMFirstBootService::readmeText()
{
    return QStringList {
        QStringLiteral("Zovozu VM Lab Bootstrap Folder"),
        QString(),
        QStringLiteral("This folder is exposed to the guest through the app's shared-folder configuration."),
        QStringLiteral("Use the script and any additional payload files here for safe first-run setup inside the guest."),
    }
        .join(QLatin1Char('\n'));
}

void VMFirstBootService::clearFolder(const QString &folder)
{
    for (const QString &name : FileOperations::folderEntries(folder))
        FileOperations::removeItem(joined(folder, name));
}

void VMFirstBootService::copyReplacingItem(const QString &source, const QString &destination)
{
    if (FileOperations::itemExists(destination))
        FileOperations::removeItem(destination);
    // The user picked the source, so a link there stands for the file it leads to; the guest gets the content, not a host path.
    const QFileInfo picked(source);
    const QString resolved = picked.exists() ? picked.canonicalFilePath() : source;
    if (QFileInfo(resolved).isDir())
        SparseCopy::copyTree(resolved, destination);
    else
        SparseCopy::copyFile(resolved, destination);
}

std::optional<QString> VMFirstBootService::relativePath(const QString &path, const QString &bundleFolder)
{
    if (!path.startsWith(bundleFolder + QLatin1Char('/')))
        return std::nullopt;
    QString relative = path.mid(bundleFolder.size());
    while (relative.startsWith(QLatin1Char('/')))
        relative.remove(0, 1);
    while (relative.endsWith(QLatin1Char('/')))
        relative.chop(1);
    return relative;
}
