// SPDX-License-Identifier: MIT
#include "BundleFolderNaming.h"

#include "AppDirectories.h"
#include "FileOperations.h"

namespace BundleFolderNaming {

QString sanitizedBaseName(const QString &name)
{
    QString base = name.trimmed();
    if (base.isEmpty())
        base = QStringLiteral("Virtual Mac");
    base = sanitizedFileName(base);
    base.replace(QStringLiteral("  "), QStringLiteral(" ")); // one left-to-right pass: three blanks become two
    base = base.trimmed();
    for (qsizetype index = 0; index < base.size() && base[index] == QLatin1Char('.'); ++index)
        base[index] = QLatin1Char('-');
    return base;
}

QString availableBundleURL(const QString &destination, const QString &baseName)
{
    const QString prefix = destination + QLatin1Char('/') + baseName;
    QString candidate = prefix + QStringLiteral(".vm");
    for (int number = 2; FileOperations::itemExists(candidate); ++number)
        candidate = prefix + QLatin1Char(' ') + QString::number(number) + QStringLiteral(".vm");
    return candidate;
}

} // namespace BundleFolderNaming
