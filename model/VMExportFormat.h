// SPDX-License-Identifier: MIT
#pragma once

#include "RawValueEnum.h"

#include <QString>

/// What an export produces; the export sheet offers the formats in this order. Never stored.
enum class VMExportFormat {
    /// A ".vm" folder that can be imported as it is.
    vmBundle,
    /// A ".vmarchive" file: a zip archive of the bundle folder.
    compressedArchive,
};

template <>
struct RawValues<VMExportFormat> {
    static constexpr std::string_view typeName = "VMExportFormat";
    static constexpr std::array table{
        std::pair{VMExportFormat::vmBundle, std::string_view{"vmBundle"}},
        std::pair{VMExportFormat::compressedArchive, std::string_view{"compressedArchive"}},
    };
};

/// The format's name in the export sheet, e.g. "VM Bundle (.vm)".
QString label(VMExportFormat format);

/// The sentence shown under the format's name.
QString description(VMExportFormat format);
