// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <functional>

/// Shows an item to the user in the desktop's file manager, selected.
class FileViewer
{
public:
    /// Told, on the GUI thread and possibly after revealItem() has returned, why the item could not be shown.
    using FailureHandler = std::function<void(const QString &reason)>;

    virtual ~FileViewer() = default;
    /// Shows the item; when nothing can show it, `failed` (if any) gets a sentence for the user.
    virtual void revealItem(const QString &path, FailureHandler failed) = 0;
};

/**
 * Asks the desktop's file manager over D-Bus (org.freedesktop.FileManager1
 * ShowItems) to open the item's folder with the item selected; where no file
 * manager answers, opens the parent folder with xdg-open instead. When that
 * cannot start or ends in failure, the failure handler is told. Returns at
 * once and never blocks on the file manager.
 */
class DesktopFileViewer : public FileViewer
{
public:
    /// `folderOpener` opens a folder given as its one argument; `asksFileManagerService` false skips D-Bus.
    explicit DesktopFileViewer(QString folderOpener = QStringLiteral("xdg-open"), bool asksFileManagerService = true);

    void revealItem(const QString &path, FailureHandler failed) override;

    /// The sentence a failure handler gets for `path`.
    static QString failureText(const QString &path);

private:
    static void openParentFolder(const QString &folderOpener, const QString &path, FailureHandler failed);

    QString m_folderOpener;
    bool m_asksFileManagerService;
};
