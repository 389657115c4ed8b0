// SPDX-License-Identifier: MIT
#pragma once

#include "VMClipboardMessage.h"

#include <QString>

/// The plain text a clipboard message carries, as the Base64 of its UTF-8 bytes.
namespace ClipboardText {

/// Standard Base64 (with padding, no line breaks) of the text's UTF-8 bytes.
QString textBase64(const QString &text);

/// The message's text: strict Base64, then UTF-8; the empty text when either step fails.
QString text(const VMClipboardMessage &message);

} // namespace ClipboardText
