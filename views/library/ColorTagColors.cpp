// SPDX-License-Identifier: MIT
#include "ColorTagColors.h"

namespace ColorTagColors {

QColor color(VMColorTag tag)
{
    switch (tag) {
    case VMColorTag::red:
        return QColor(255, 59, 48);
    case VMColorTag::orange:
        return QColor(255, 149, 0);
    case VMColorTag::yellow:
        return QColor(255, 204, 0);
    case VMColorTag::green:
        return QColor(52, 199, 89);
    case VMColorTag::blue:
        return QColor(0, 122, 255);
    case VMColorTag::purple:
        return QColor(175, 82, 222);
    case VMColorTag::gray:
        break;
    }
    return QColor(142, 142, 147);
}

QString title(VMColorTag tag)
{
    QString raw = toRaw(tag);
    if (!raw.isEmpty())
        raw[0] = raw[0].toUpper();
    return raw;
}

} // namespace ColorTagColors
