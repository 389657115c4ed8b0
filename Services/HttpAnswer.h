// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QMap>

#include <optional>

/**
 * The status and headers of an HTTP answer, as they arrived: header names in
 * lower case, a header sent more than once joined by ", " into one value.
 */
struct HttpAnswer {
    int status = 0;
    QMap<QByteArray, QByteArray> headers;

    QByteArray header(const QByteArray &lowerCaseName) const { return headers.value(lowerCaseName); }

    /**
     * The body length Content-Length announces; none when the answer has no
     * such header. Throws std::runtime_error when the header is not a
     * decimal number (text, a sign, a negative length, or two values that
     * differ), which a lenient reader would take for a shorter length or none.
     */
    std::optional<qint64> announcedLength() const;
};

/**
 * Reads the value of a Content-Length header strictly: repeated headers
 * joined by commas must all carry the same decimal number. Throws
 * std::runtime_error for anything else (text, a sign, a negative length,
 * an empty value, or two values that differ).
 */
qint64 strictContentLength(const QByteArray &headerValue);
