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

/// The checkout this file was compiled from: two levels above platform/ApplicationResources.cpp, when the compiler was given a full path.
std::optional<QString> buildSourceTree()
{
    const QFileInfo source(QString::fromUtf8(__FILE__));
    if (!source.isAbsolute())
        return std::nullopt;
    return QDir::cleanPath(source.absolutePath() + QStringLiteral("/.."));
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
