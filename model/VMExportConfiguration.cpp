// SPDX-License-Identifier: MIT
#include "VMExportConfiguration.h"

VMExportConfiguration VMExportConfiguration::withFormat(VMExportFormat format) const
{
    VMExportConfiguration configuration = *this;
    configuration.compressionEnabled = format == VMExportFormat::compressedArchive;
    return configuration;
}

QString VMExportConfiguration::resolvedName(const QString &vmName) const
{
    QString name = archiveName.isEmpty() ? vmName : archiveName;
    return name.replace(QLatin1Char('/'), QLatin1Char('-')).replace(QLatin1Char(':'), QLatin1Char('-'));
}
