// SPDX-License-Identifier: MIT
#include "VMClipboardMessage.h"

#include "Base64.h"
#include "UTF8.h"

namespace GuestTools {

VMClipboardMessage VMClipboardMessage::withText(Uuid id, VMClipboardMessageSource source, Timestamp updatedAt,
                                                std::string_view text)
{
    return VMClipboardMessage{id, source, updatedAt, Base64::encode(text)};
}

std::string VMClipboardMessage::text() const
{
    auto bytes = Base64::decode(textBase64);
    if (!bytes || !UTF8::isValid(*bytes))
        return {};
    return std::move(*bytes);
}

void to_json(Json &json, const VMClipboardMessage &message)
{
    json = Json::object();
    json["id"] = message.id.uppercaseString();
    json["source"] = std::string(toRaw(message.source));
    json["updatedAt"] = ISO8601::format(message.updatedAt);
    json["textBase64"] = message.textBase64;
}

void from_json(const Json &json, VMClipboardMessage &message)
{
    const JSONObjectFields fields(json);
    message.id = fields.uuid("id");
    message.source = fields.rawValue("source", &sourceFromRaw);
    message.updatedAt = fields.date("updatedAt");
    message.textBase64 = fields.string("textBase64");
}

} // namespace GuestTools
