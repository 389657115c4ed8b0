// SPDX-License-Identifier: MIT
#include "QemuLoadFailure.h"

#include <QStringList>

#include <algorithm>

namespace {

constexpr QStringView loadFailure = u"load of migration failed";

/// glibc's texts of the errors that a host, not a state, causes; QEMU writes them as strerror() gives them.
const QStringList &hostFailures()
{
    static const QStringList texts{
        QStringLiteral("No space left on device"), QStringLiteral("Disk quota exceeded"),    QStringLiteral("Cannot allocate memory"),
        QStringLiteral("Input/output error"),      QStringLiteral("Too many open files"),     QStringLiteral("Permission denied"),
        QStringLiteral("Operation not permitted"), QStringLiteral("Read-only file system"),   QStringLiteral("File too large"),
        QStringLiteral("Interrupted system call"), QStringLiteral("Resource temporarily unavailable"),
    };
    return texts;
}

} // namespace

bool QemuLoadFailure::rejectsState(const QString &qemuLog)
{
    const QStringList lines = qemuLog.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const auto failure = std::find_if(lines.crbegin(), lines.crend(), [](const QString &line) { return line.contains(loadFailure); });
    if (failure == lines.crend())
        return false;
    const QString reason = failure->mid(failure->indexOf(loadFailure) + loadFailure.size());
    return std::none_of(hostFailures().cbegin(), hostFailures().cend(), [&](const QString &text) { return reason.contains(text); });
}
