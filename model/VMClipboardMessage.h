// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"
#include "VMClipboardMessageSource.h"

#include <QDateTime>
#include <QString>
#include <QUuid>

/**
 * One clipboard update exchanged through the automation folder, in either
 * direction. Identified by `id`, which is new for every update. The text is
 * kept as written: the standard Base64 of its UTF-8 bytes; the clipboard
 * service encodes and decodes it.
 */
struct VMClipboardMessage {
    QUuid id;
    VMClipboardMessageSource source = VMClipboardMessageSource::host;
    QDateTime updatedAt;
    QString textBase64;

    bool operator==(const VMClipboardMessage &) const = default;
};

void to_json(Json &json, const VMClipboardMessage &message);
void from_json(const Json &json, VMClipboardMessage &message);
