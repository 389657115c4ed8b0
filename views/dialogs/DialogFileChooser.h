// SPDX-License-Identifier: MIT
#pragma once

#include "FileChooser.h"

/**
 * Asks for a file or folder with a window-modal file dialog over the active
 * window, opened with open() and awaited, so the event loop keeps running.
 * A bundle is a folder: a request that allows folders picks a folder.
 * Several items are picked with the usual extended selection.
 */
class DialogFileChooser final : public FileChooser
{
public:
    QCoro::Task<std::optional<QString>> choose(FileChoiceRequest request) override;
    QCoro::Task<QStringList> chooseSeveral(FileChoiceRequest request) override;
};
