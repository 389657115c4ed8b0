// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/// Shows an item to the user in the desktop's file manager, selected.
class FileViewer
{
public:
    virtual ~FileViewer() = default;
    virtual void revealItem(const QString &path) = 0;
};

/**
 * Asks the desktop's file manager over D-Bus (org.freedesktop.FileManager1
 * ShowItems) to open the item's folder with the item selected; where no file
 * manager answers, opens the parent folder with xdg-open instead. Returns at
 * once and never blocks on the file manager.
 */
class DesktopFileViewer : public FileViewer
{
public:
    void revealItem(const QString &path) override;
};
