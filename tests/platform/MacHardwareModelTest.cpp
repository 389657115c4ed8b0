// SPDX-License-Identifier: MIT
#include "MacHardwareModel.h"

#include <gtest/gtest.h>

TEST(MacHardwareModelTest, TheDataRepresentationReadsBackIntoAnEqualModel)
{
    for (const QByteArray &descriptor : {QByteArray(), QByteArray("virt-7.2"), QByteArray("\0\x01\xff", 3)}) {
        const MacHardwareModel model(descriptor);
        EXPECT_EQ(MacHardwareModel::fromDataRepresentation(model.dataRepresentation()), model);
    }
}

TEST(MacHardwareModelTest, AnythingElseIsNoModel)
{
    const char *const refused[] = {
        "",
        "{",
        R"({"descriptor":"dmlydA==","format":"DuvuzodOvevav.HardwareModel","version":2})",
        R"({"descriptor":"dmlydA==","format":"DuvuzodOvevav.MachineIdentifier","version":1})",
        R"({"format":"DuvuzodOvevav.HardwareModel","version":1})",
        R"({"descriptor":7,"format":"DuvuzodOvevav.HardwareModel","version":1})",
        R"({"descriptor":"dmlydA==","format":"DuvuzodOvevav.HardwareModel","version":1e999})",
    };
    for (const char *data : refused)
        EXPECT_FALSE(MacHardwareModel::fromDataRepresentation(QByteArray(data)).has_value()) << data;
}
