// SPDX-License-Identifier: MIT
#include "VMMediaConfiguration.h"

void to_json(Json &json, const VMMediaConfiguration &configuration)
{
    JSONObjectWriter writer;
    writer.set("isMicrophoneEnabled", configuration.isMicrophoneEnabled);
    writer.set("isSpeakerEnabled", configuration.isSpeakerEnabled);
    json = writer.take();
}

void from_json(const Json &json, VMMediaConfiguration &configuration)
{
    const JSONObjectReader reader(json);
    configuration.isMicrophoneEnabled = reader.required<bool>("isMicrophoneEnabled");
    configuration.isSpeakerEnabled = reader.required<bool>("isSpeakerEnabled");
}
