// SPDX-License-Identifier: MIT
#pragma once

#include "FileViewer.h"

#include <QStringList>

/// What the benchmarks share: they show nothing and take their sizes from the command line.
namespace BenchSupport {

/// The benches never show anything.
class NoFileViewer : public FileViewer
{
public:
    void revealItem(const QString &, FailureHandler) override {}
};

/// The whole number at `index` of the arguments, or `fallback` when it is missing, malformed or negative.
inline int argument(const QStringList &arguments, int index, int fallback)
{
    bool valid = false;
    const int value = arguments.value(index).toInt(&valid);
    return valid && value >= 0 ? value : fallback;
}

} // namespace BenchSupport
