// SPDX-License-Identifier: MIT
#include "VMTemplateLibrary.h"

void to_json(Json &json, const VMTemplateLibrary &library)
{
    JSONObjectWriter writer;
    writer.set("templates", library.templates);
    json = writer.take();
}

void from_json(const Json &json, VMTemplateLibrary &library)
{
    library.templates = JSONObjectReader(json).required<QList<VMTemplate>>("templates");
}
