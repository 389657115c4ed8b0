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

/// The message's UTF-8 bytes: strict Base64; none when it is not.
std::optional<QByteArray> utf8Bytes(const VMClipboardMessage &message);

/// The text of UTF-8 bytes; the empty text when they are not UTF-8.
QString fromUtf8(const QByteArray &bytes);

/// The message's text: strict Base64, then UTF-8; the empty text when either step fails.
QString text(const VMClipboardMessage &message);

} // namespace ClipboardText
