// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"

/**
 * The audio devices of a VM. A default-made value is the setting used where
 * a VM stores none: microphone off, speaker on.
 */
struct VMMediaConfiguration {
    bool isMicrophoneEnabled = false;
    bool isSpeakerEnabled = true;

    bool operator==(const VMMediaConfiguration &) const = default;
};

void to_json(Json &json, const VMMediaConfiguration &configuration);
void from_json(const Json &json, VMMediaConfiguration &configuration);
