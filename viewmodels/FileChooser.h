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
 * Asks the user for files or folders. The application shows a dialog;
 * tests answer from a script. A cancelled choice is none, or empty.
 */
class FileChooser
{
public:
    virtual ~FileChooser() = default;
    /// One file or folder.
    virtual QCoro::Task<std::optional<QString>> choose(FileChoiceRequest request) = 0;
    /// Several at once, in the order the user gave them. A chooser that can
    /// offer only one choice at a time answers with that one.
    virtual QCoro::Task<QStringList> chooseSeveral(FileChoiceRequest request);
};
