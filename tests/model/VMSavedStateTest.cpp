// SPDX-License-Identifier: MIT
#include "VMSavedState.h"

#include "RecordTestSupport.h"

#include <QTimeZone>

using namespace RecordTestSupport;

namespace {

const QDateTime savedAt(QDate(2024, 3, 1), QTime(10, 20, 30), QTimeZone::utc());

} // namespace

TEST(VMSavedStateTest, WritesTheSizeOnlyWhenKnown)
{
    const VMSavedState withoutSize{QStringLiteral("SavedState/MachineState.bin"), savedAt, std::nullopt};
    EXPECT_EQ(compactJSON(withoutSize), R"({"createdAt":"2024-03-01T10:20:30Z","relativePath":"SavedState/MachineState.bin"})");
    EXPECT_EQ(roundTripped(withoutSize), withoutSize);

    const VMSavedState withSize{QStringLiteral("SavedState/MachineState.bin"), savedAt, 4294967296ULL};
    EXPECT_EQ(compactJSON(withSize),
              R"({"createdAt":"2024-03-01T10:20:30Z","fileSizeBytes":4294967296,"relativePath":"SavedState/MachineState.bin"})");
    EXPECT_EQ(roundTripped(withSize), withSize);
}

TEST(VMSavedStateTest, RefusesMissingOrMistypedFields)
{
    using Kind = JSONDecodingError::Kind;
    const struct {
        const char *json;
        Kind kind;
    } cases[] = {
        {R"({"createdAt":"2024-03-01T10:20:30Z"})", Kind::keyNotFound},
        {R"({"relativePath":"SavedState/MachineState.bin"})", Kind::keyNotFound},
        {R"({"createdAt":"2024-03-01T10:20:30Z","relativePath":"a","fileSizeBytes":-1})", Kind::dataCorrupted},
        {R"({"createdAt":"2024-03-01T10:20:30Z","relativePath":"a","fileSizeBytes":"12"})", Kind::typeMismatch},
        {R"({"createdAt":"2024-03-01T10:20:30.5Z","relativePath":"a"})", Kind::dataCorrupted},
    };
    for (const auto &row : cases)
        expectDecodingFails<VMSavedState>(row.json, row.kind);
}
