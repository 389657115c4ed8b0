// SPDX-License-Identifier: MIT
#pragma once

#include "RawValueEnum.h"

#include <QString>

/// The group a template belongs to in the template library, which filters by it.
enum class VMTemplateCategory {
    development,
    testing,
    ciRunner,
    cleanInstall,
    performance,
    custom,
};

template <>
struct RawValues<VMTemplateCategory> {
    static constexpr std::string_view typeName = "VMTemplateCategory";
    static constexpr std::array table{
        std::pair{VMTemplateCategory::development, std::string_view{"development"}},
        std::pair{VMTemplateCategory::testing, std::string_view{"testing"}},
        std::pair{VMTemplateCategory::ciRunner, std::string_view{"ciRunner"}},
        std::pair{VMTemplateCategory::cleanInstall, std::string_view{"cleanInstall"}},
        std::pair{VMTemplateCategory::performance, std::string_view{"performance"}},
        std::pair{VMTemplateCategory::custom, std::string_view{"custom"}},
    };
};

/// The category's name in the library, e.g. "CI Runner".
QString displayName(VMTemplateCategory category);

/// The category's icon; also the icon of every template the application makes in it.
QString symbolName(VMTemplateCategory category);
