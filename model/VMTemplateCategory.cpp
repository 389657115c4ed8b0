// SPDX-License-Identifier: MIT
#include "VMTemplateCategory.h"

QString displayName(VMTemplateCategory category)
{
    switch (category) {
    case VMTemplateCategory::development:
        return QStringLiteral("Development");
    case VMTemplateCategory::testing:
        return QStringLiteral("Testing");
    case VMTemplateCategory::ciRunner:
        return QStringLiteral("CI Runner");
    case VMTemplateCategory::cleanInstall:
        return QStringLiteral("Clean Install");
    case VMTemplateCategory::performance:
        return QStringLiteral("Performance");
    case VMTemplateCategory::custom:
        return QStringLiteral("Custom");
    }
    Q_UNREACHABLE();
}

QString symbolName(VMTemplateCategory category)
{
    switch (category) {
    case VMTemplateCategory::development:
        return QStringLiteral("hammer");
    case VMTemplateCategory::testing:
        return QStringLiteral("checkmark.seal");
    case VMTemplateCategory::ciRunner:
        return QStringLiteral("gearshape.2");
    case VMTemplateCategory::cleanInstall:
        return QStringLiteral("sparkles");
    case VMTemplateCategory::performance:
        return QStringLiteral("bolt");
    case VMTemplateCategory::custom:
        return QStringLiteral("slider.horizontal.3");
    }
    Q_UNREACHABLE();
}
