// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/**
 * The test that enables the default button of a name sheet: a name is blank
 * when nothing remains after removing space separators (Unicode Zs) and
 * tabs from both ends. Line breaks count as text. The name itself is passed
 * on untrimmed.
 */
class BlankName
{
public:
    static bool isBlank(const QString &name);
};
