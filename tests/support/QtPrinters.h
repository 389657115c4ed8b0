// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <ostream>

/// Lets GoogleTest print Qt strings in failure messages instead of their bytes.
inline void PrintTo(const QString &text, std::ostream *stream)
{
    *stream << '"' << text.toStdString() << '"';
}
