// SPDX-License-Identifier: MIT
#pragma once

#include "FileViewer.h"
#include "SecurityScopedAccess.h"

#include <QStringList>

#include <optional>

/// Grants every access and records starts and stops, so tests can check that they balance.
class RecordingAccess : public SecurityScopedAccess
{
public:
    bool startAccessing(const QString &path) override
    {
        started << path;
        return true;
    }
    void stopAccessing(const QString &path) override { stopped << path; }

    QStringList started;
    QStringList stopped;
};

/// Records what would have been shown in the file manager; with a `failure`, no file manager answers.
class RecordingFileViewer : public FileViewer
{
public:
    void revealItem(const QString &path, FailureHandler failed) override
    {
        revealed << path;
        if (failure && failed)
            failed(*failure);
    }
    QStringList revealed;
    std::optional<QString> failure;
};
