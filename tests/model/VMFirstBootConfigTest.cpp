// SPDX-License-Identifier: MIT
#include "VMFirstBootConfig.h"

#include "RecordTestSupport.h"

using namespace RecordTestSupport;

TEST(VMFirstBootConfigTest, ScriptIsWrittenOnlyWhenPresentAndPayloadAlways)
{
    VMFirstBootConfig config{true, std::nullopt, {}, true, QString()};
    EXPECT_EQ(compactJSON(config), R"({"additionalFilesRelativePaths":[],"enabled":true,"notes":"","runOnce":true})");
    EXPECT_EQ(roundTripped(config), config);

    config.scriptRelativePath = QStringLiteral("Bootstrap/firstboot.sh");
    config.additionalFilesRelativePaths = {QStringLiteral("Bootstrap/b.pkg"), QStringLiteral("Bootstrap/a.txt")};
    config.notes = QStringLiteral("Installs the tools");
    EXPECT_EQ(compactJSON(config), R"({"additionalFilesRelativePaths":["Bootstrap/b.pkg","Bootstrap/a.txt"],"enabled":true,)"
                                   R"("notes":"Installs the tools","runOnce":true,"scriptRelativePath":"Bootstrap/firstboot.sh"})");
    EXPECT_EQ(roundTripped(config), config);

    VMFirstBootConfig reordered = config;
    std::swap(reordered.additionalFilesRelativePaths[0], reordered.additionalFilesRelativePaths[1]);
    EXPECT_NE(reordered, config);
}

TEST(VMFirstBootConfigTest, EveryKeyButTheScriptIsRequired)
{
    const Json complete = Json::parse(R"({"additionalFilesRelativePaths":[],"enabled":true,"notes":"","runOnce":false})");
    EXPECT_EQ(decoded<VMFirstBootConfig>(complete.dump()).scriptRelativePath, std::nullopt);
    for (const char *key : {"additionalFilesRelativePaths", "enabled", "notes", "runOnce"}) {
        Json json = complete;
        json.erase(key);
        expectDecodingFails<VMFirstBootConfig>(json.dump(), JSONDecodingError::Kind::keyNotFound);
    }
    Json wrongType = complete;
    wrongType["additionalFilesRelativePaths"] = "Bootstrap/a.txt";
    expectDecodingFails<VMFirstBootConfig>(wrongType.dump(), JSONDecodingError::Kind::typeMismatch);
}

TEST(VMFirstBootConfigTest, UntrustedPathsAreKeptAsText)
{
    // Refusing such paths is the job of whoever joins them to the bundle folder.
    const auto config = decoded<VMFirstBootConfig>(
        R"({"additionalFilesRelativePaths":["/etc/passwd"],"enabled":true,"notes":"","runOnce":false,"scriptRelativePath":"../x.sh"})");
    EXPECT_EQ(config.scriptRelativePath, QStringLiteral("../x.sh"));
    EXPECT_EQ(config.additionalFilesRelativePaths, QList<QString>{QStringLiteral("/etc/passwd")});
}
