// SPDX-License-Identifier: MIT
#pragma once

#include "VMClipboardMessage.h"

#include <QByteArray>
#include <QString>

#include <optional>

/// The plain text a clipboard message carries, as the Base64 of its UTF-8 bytes.
namespace ClipboardText {

/// The longest text either side sends the other, in UTF-8 bytes.
constexpr qint64 maximumTextBytes = 4 * 1024 * 1024;

/// Standard Base64 (with padding, no line breaks) of the text's UTF-8 bytes.
QString textBase64(const QString &text);

/// The same of bytes already in UTF-8.
QString utf8Base64(const QByteArray &utf8);

/// A text measured in UTF-8 against a limit.
struct MeasuredText {
    /// The UTF-8 bytes, when they fit in the limit.
    std::optional<QByteArray> utf8;
    /// The length in UTF-8 bytes: exact when the text was converted, else the least it can be.
    qint64 byteCount = 0;
    bool isByteCountExact = false;
};

/**
 * The text's UTF-8 bytes when they fit in `maximumBytes`. Converts at most
 * once, and not at all when the text's length alone shows that it cannot
 * fit: each UTF-16 unit takes one to three bytes.
 */
MeasuredText measuredUtf8(const QString &text, qint64 maximumBytes);

/// The message's UTF-8 bytes: strict Base64; none when it is not.
std::optional<QByteArray> utf8Bytes(const VMClipboardMessage &message);

/// The text of UTF-8 bytes; the empty text when they are not UTF-8.
QString fromUtf8(const QByteArray &bytes);

/// The message's text: strict Base64, then UTF-8; the empty text when either step fails.
QString text(const VMClipboardMessage &message);

} // namespace ClipboardText
