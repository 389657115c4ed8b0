// SPDX-License-Identifier: MIT
#pragma once

#include "ISO8601.h"
#include "JSONObjectFields.h"
#include "Uuid.h"
#include "VMClipboardMessageSource.h"

#include <string>
#include <string_view>

namespace GuestTools {

/**
 * One clipboard update, in Clipboard/HostClipboard.json or
 * Clipboard/GuestClipboard.json. Only plain text travels, as the standard
 * Base64 of its UTF-8 bytes; every new content gets a new `id`.
 *
 * @code
 * const auto message = VMClipboardMessage::withText(Uuid::random(), VMClipboardMessageSource::guest, now, "héllo");
 * message.text(); // "héllo"
 * @endcode
 */
struct VMClipboardMessage {
    Uuid id;
    VMClipboardMessageSource source = VMClipboardMessageSource::host;
    Timestamp updatedAt;
    std::string textBase64;

    /// A message carrying `text` (UTF-8), stored as its Base64.
    static VMClipboardMessage withText(Uuid id, VMClipboardMessageSource source, Timestamp updatedAt, std::string_view text);

    /// The text carried; empty when `textBase64` is not strict Base64 or its bytes are not UTF-8.
    std::string text() const;

    bool operator==(const VMClipboardMessage &) const = default;
};

void to_json(Json &json, const VMClipboardMessage &message);
void from_json(const Json &json, VMClipboardMessage &message);

} // namespace GuestTools
