// SPDX-License-Identifier: MIT
#include "VMExportFormat.h"

QString label(VMExportFormat format)
{
    switch (format) {
    case VMExportFormat::vmBundle:
        return QStringLiteral("VM Bundle (.vm)");
    case VMExportFormat::compressedArchive:
        return QStringLiteral("Compressed Archive (.vmarchive)");
    }
    Q_UNREACHABLE();
}

QString description(VMExportFormat format)
{
    switch (format) {
    case VMExportFormat::vmBundle:
        return QStringLiteral("Uncompressed copy of the VM bundle. Ready to import directly.");
    case VMExportFormat::compressedArchive:
        return QStringLiteral("Compressed archive for sharing. Smaller size, requires extraction.");
    }
    Q_UNREACHABLE();
}
