// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

/// What the user has typed into the create-configuration form; it outlives the form, so reopening shows the last entries.
struct CIConfigurationForm {
    static QString defaultScript()
    {
        return QStringLiteral("#!/bin/bash\nset -e\n\necho 'Starting CI run...'\n\n# Add your build and test commands here\n"
                              "# make test\n\necho 'CI run completed successfully'\n");
    }

    QString name = QStringLiteral("CI Run");
    QString script = defaultScript();
    qint64 timeoutSeconds = 3600;
    bool snapshotBeforeRun = true;
    bool shutdownAfterCompletion = true;

    /// A name with more than spaces and tabs in it.
    bool hasName() const
    {
        for (const QChar character : name) {
            if (character != QLatin1Char(' ') && character != QLatin1Char('\t'))
                return true;
        }
        return false;
    }

    bool operator==(const CIConfigurationForm &) const = default;
};
