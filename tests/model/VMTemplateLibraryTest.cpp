// SPDX-License-Identifier: MIT
#include "VMTemplateLibrary.h"

#include "RecordTestSupport.h"

using namespace RecordTestSupport;

TEST(VMTemplateLibraryTest, IsAnObjectWithTheTemplatesInOrder)
{
    EXPECT_EQ(compactJSON(VMTemplateLibrary{}), R"({"templates":[]})");
    expectDecodingFails<VMTemplateLibrary>("{}", JSONDecodingError::Kind::keyNotFound);
    expectDecodingFails<VMTemplateLibrary>("[]", JSONDecodingError::Kind::typeMismatch);

    VMTemplateLibrary library{VMTemplate::makeBuiltInTemplates(HostCapacity{4, 8ULL << 30})};
    for (VMTemplate &entry : library.templates)
        entry.createdAt = entry.createdAt.addMSecs(-entry.createdAt.time().msec());
    std::swap(library.templates[0], library.templates[4]);
    EXPECT_EQ(roundTripped(library), library);

    Json json = JSONCodec<VMTemplateLibrary>::encode(library);
    json["templates"][2]["installSource"] = Json::object();
    expectDecodingFails<VMTemplateLibrary>(json.dump(), JSONDecodingError::Kind::keyNotFound);
}
