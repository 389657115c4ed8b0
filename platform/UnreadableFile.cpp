// SPDX-License-Identifier: MIT
#include "UnreadableFile.h"

#include "FileOperations.h"
#include "ItemReplacement.h"
#include "PlatformError.h"

#include <QDateTime>

#include <cerrno>

namespace UnreadableFile {

QString moveAside(const QString &path)
{
    const QString stem
        = path + QStringLiteral(".unreadable-") + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    for (int number = 1;; ++number) {
        const QString aside = number == 1 ? stem : stem + QLatin1Char('-') + QString::number(number);
        if (FileOperations::itemExists(aside))
            continue;
        try {
            ItemReplacement::moveWithoutReplacing(path, aside);
            return aside;
        } catch (const PlatformError &error) {
            if (error.code() != EEXIST) // taken since we looked: try the next name
                throw;
        }
    }
}

} // namespace UnreadableFile
