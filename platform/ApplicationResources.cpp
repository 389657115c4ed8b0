// SPDX-License-Identifier: MIT
#include "ApplicationResources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

std::optional<QString> existingFile(const std::optional<QString> &folder, const QString &relativePath)
{
    if (!folder)
        return std::nullopt;
    const QString path = QDir(*folder).filePath(relativePath);
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    return path;
}

/// The checkout this file was compiled from, as the build names it. Not taken from __FILE__:
/// a compiler cache that shares objects between checkouts makes that path relative.
std::optional<QString> buildSourceTree()
{
    const QString tree = QString::fromUtf8(ZOVOZU_SOURCE_TREE);
    if (!QFileInfo(tree).isAbsolute())
        return std::nullopt;
    return QDir::cleanPath(tree);
}

} // namespace

ApplicationResources::ApplicationResources(std::optional<QString> resourcesFolder, std::optional<QString> sourceTree)
    : m_resourcesFolder(std::move(resourcesFolder))
    , m_sourceTree(std::move(sourceTree))
{
}

ApplicationResources ApplicationResources::standard()
{
    const std::optional<QString> sourceTree = buildSourceTree();
    if (QCoreApplication::instance()) {
        const QString besideProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/resources");
        if (QFileInfo(besideProgram).isDir())
            return ApplicationResources(besideProgram, sourceTree);
    }
    if (sourceTree)
        return ApplicationResources(*sourceTree + QStringLiteral("/resources"), sourceTree);
    return ApplicationResources(std::nullopt);
}

std::optional<QString> ApplicationResources::resourcePath(const QString &relativePath) const
{
    return existingFile(m_resourcesFolder, relativePath);
}

std::optional<QString> ApplicationResources::sourceTreePath(const QString &relativePath) const
{
    return existingFile(m_sourceTree, relativePath);
}
