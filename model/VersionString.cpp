// SPDX-License-Identifier: MIT
#include "VersionString.h"

#include <QRegularExpression>

#include <algorithm>

namespace VersionString {

QList<qint64> components(const QString &version)
{
    QList<qint64> numbers;
    for (const QString &piece : version.split(QLatin1Char('.'), Qt::SkipEmptyParts)) {
        bool ok = false;
        const qint64 number = piece.toLongLong(&ok, 10);
        if (ok)
            numbers.append(number);
    }
    return numbers;
}

qint64 majorNumber(const QString &version)
{
    const QList<qint64> numbers = components(version);
    return numbers.isEmpty() ? 0 : numbers.first();
}

int compare(const QString &left, const QString &right)
{
    const QList<qint64> a = components(left);
    const QList<qint64> b = components(right);
    const qsizetype length = std::max(a.size(), b.size());
    for (qsizetype index = 0; index < length; ++index) {
        const qint64 x = a.value(index, 0);
        const qint64 y = b.value(index, 0);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

QString fromComponents(qint64 major, qint64 minor, qint64 patch)
{
    QString text = QString::number(major) + QLatin1Char('.') + QString::number(minor);
    if (patch >= 1)
        text += QLatin1Char('.') + QString::number(patch);
    return text;
}

bool isWellFormedVersion(const QString &version)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9]{1,9}(\\.[0-9]{1,9})*$"));
    return version.size() <= 64 && pattern.match(version).hasMatch();
}

bool isWellFormedBuild(const QString &build)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9]{1,32}$"));
    return pattern.match(build).hasMatch();
}

} // namespace VersionString
