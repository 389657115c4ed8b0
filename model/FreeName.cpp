// SPDX-License-Identifier: MIT
#include "FreeName.h"

namespace FreeName {

QString first(const QString &name, const std::function<bool(const QString &)> &isTaken, const Join &join)
{
    if (!isTaken(name))
        return name;
    for (qint64 number = 2;; ++number) {
        const QString suffix = QLatin1Char(' ') + QString::number(number);
        const QString candidate = join ? join(name, suffix) : name + suffix;
        if (!isTaken(candidate))
            return candidate;
    }
}

} // namespace FreeName
