// SPDX-License-Identifier: MIT
#include "ProductStemFolder.h"

#include <QDir>
#include <QStandardPaths>

QString productStemFolder()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        base = QDir::tempPath();
    return QDir::cleanPath(base + QStringLiteral("/DuvuzodOvevav"));
}
