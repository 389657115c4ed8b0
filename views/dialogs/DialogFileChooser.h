// SPDX-License-Identifier: MIT
#pragma once

#include "FileChooser.h"

#include <QPointer>
#include <QWidget>

/**
 * Asks for a file or folder with a window-modal file dialog over the active
 * window, opened with open() and awaited, so the event loop keeps running.
 * When no window is active, as right after a sheet closed and before the
 * desktop activates the window beneath it, the dialog opens over the
 * chooser's own window, if it has one. A dialog that goes away with its
 * parent counts as cancelled.
 * A bundle is a folder: a request that allows folders picks a folder.
 * Several items are picked with the usual extended selection.
 */
class DialogFileChooser final : public FileChooser
{
public:
    /// `window`: where the dialogs open when no window is active; none leaves them without a parent then.
    explicit DialogFileChooser(QWidget *window = nullptr);

    QCoro::Task<std::optional<QString>> choose(FileChoiceRequest request) override;
    QCoro::Task<QStringList> chooseSeveral(FileChoiceRequest request) override;

private:
    QWidget *parentWindow() const;

    QPointer<QWidget> m_window;
};
