// SPDX-License-Identifier: MIT
#include "HttpAnswer.h"

#include <QList>

#include <algorithm>
#include <stdexcept>

qint64 strictContentLength(const QByteArray &headerValue)
{
    // Repeated headers arrive joined by commas; identical repeats are allowed.
    std::optional<qint64> length;
    for (const QByteArray &part : headerValue.split(',')) {
        const QByteArray digits = part.trimmed();
        bool ok = !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
        const qint64 value = ok ? digits.toLongLong(&ok) : -1;
        if (!ok || (length && *length != value))
            throw std::runtime_error("The server announced an invalid length (Content-Length).");
        length = value;
    }
    return *length;
}

std::optional<qint64> HttpAnswer::announcedLength() const
{
    if (!headers.contains("content-length"))
        return std::nullopt;
    return strictContentLength(header("content-length"));
}
