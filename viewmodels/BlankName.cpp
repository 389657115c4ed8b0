// SPDX-License-Identifier: MIT
#include "BlankName.h"

#include <algorithm>

namespace {

bool isBlankCharacter(QChar character)
{
    return character == QLatin1Char('\t') || character.category() == QChar::Separator_Space;
}

} // namespace

bool BlankName::isBlank(const QString &name)
{
    return std::all_of(name.cbegin(), name.cend(), isBlankCharacter);
}
