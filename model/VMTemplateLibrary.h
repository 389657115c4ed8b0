// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"
#include "VMTemplate.h"

#include <QList>

/// The whole content of Templates.json: the user's templates in the order they were added, under the one key "templates".
struct VMTemplateLibrary {
    QList<VMTemplate> templates;

    bool operator==(const VMTemplateLibrary &) const = default;
};

void to_json(Json &json, const VMTemplateLibrary &library);
void from_json(const Json &json, VMTemplateLibrary &library);
