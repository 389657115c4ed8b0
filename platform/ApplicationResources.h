// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <optional>

/**
 * The files the application ships beside its program: the guest-tools
 * installer package and, when one is shipped, a first-boot script.
 *
 * The resources folder is "resources" beside the running program, where an
 * installed or packaged application keeps them; a build run from its build
 * folder has none there and uses the source tree's "resources" folder
 * instead. Tests give their own folders.
 *
 * @code
 * const auto package = ApplicationResources::standard().resourcePath(QStringLiteral("GuestTools/DozizidOdezu.pkg"));
 * @endcode
 */
class ApplicationResources
{
public:
    /// Resources from `resourcesFolder`; `sourceTree`, when given, is the root of a source checkout for items built there.
    explicit ApplicationResources(std::optional<QString> resourcesFolder, std::optional<QString> sourceTree = std::nullopt);

    /// "resources" beside the running program when that folder exists, else the source tree's; the source tree this program was built from.
    static ApplicationResources standard();

    /// The file at `relativePath` inside the resources folder (a link to a file counts), or none.
    std::optional<QString> resourcePath(const QString &relativePath) const;

    /// The file at `relativePath` inside the source tree, used only when a developer built it there, or none.
    std::optional<QString> sourceTreePath(const QString &relativePath) const;

    const std::optional<QString> &resourcesFolder() const { return m_resourcesFolder; }
    const std::optional<QString> &sourceTree() const { return m_sourceTree; }

private:
    std::optional<QString> m_resourcesFolder;
    std::optional<QString> m_sourceTree;
};
