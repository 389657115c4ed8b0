// SPDX-License-Identifier: MIT
#pragma once

#include <QCoroTask>
#include <QString>
#include <QStringList>

#include <optional>

/// What a file or folder choice shows and allows.
struct FileChoiceRequest {
    QString title;
    QString message;
    bool canChooseDirectories = false;
    bool canChooseFiles = true;
    QString startFolder;
    /// File-name extensions without the dot; empty allows any.
    QStringList allowedExtensions;
};

/**
 * Asks the user for one file or folder. The application shows a dialog;
 * tests answer from a script. The choice is none when the user cancels.
 */
class FileChooser
{
public:
    virtual ~FileChooser() = default;
    virtual QCoro::Task<std::optional<QString>> choose(FileChoiceRequest request) = 0;
};
