// SPDX-License-Identifier: MIT
#pragma once

#include "VMColorTag.h"

#include <QColor>
#include <QString>

/// The colour and menu text of each colour tag.
namespace ColorTagColors {

QColor color(VMColorTag tag);
/// The raw value with its first letter capitalised: "Red", "Gray".
QString title(VMColorTag tag);

} // namespace ColorTagColors
