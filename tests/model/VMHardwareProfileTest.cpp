// SPDX-License-Identifier: MIT
#include "VMHardwareProfile.h"

#include "RecordTestSupport.h"

using namespace RecordTestSupport;
using Preset = VMHardwareProfile::DisplayPreset;

namespace {

VMHardwareProfile profile(qint64 width, qint64 height, qint64 pixelsPerInch)
{
    return VMHardwareProfile{4, 8ULL << 30, 64ULL << 30, width, height, pixelsPerInch};
}

} // namespace

TEST(VMHardwareProfileTest, PresetsHaveTheirRawValuesAndGeometry)
{
    expectRawValues<Preset>({
        {Preset::svga800x600, "svga800x600"},
        {Preset::xga1024x768, "xga1024x768"},
        {Preset::wxga1280x800, "wxga1280x800"},
        {Preset::sxga1440x900, "sxga1440x900"},
        {Preset::wsxga1680x1050, "wsxga1680x1050"},
        {Preset::wuxga1920x1200, "wuxga1920x1200"},
        {Preset::wqhd2560x1600, "wqhd2560x1600"},
    });
    const qint64 sizes[][2] = {{800, 600}, {1024, 768}, {1280, 800}, {1440, 900}, {1680, 1050}, {1920, 1200}, {2560, 1600}};
    size_t index = 0;
    for (const Preset preset : allCases<Preset>()) {
        const auto geometry = VMHardwareProfile::geometry(preset);
        EXPECT_EQ(geometry.width, sizes[index][0]);
        EXPECT_EQ(geometry.height, sizes[index][1]);
        EXPECT_EQ(geometry.pixelsPerInch, 80);
        EXPECT_EQ(profile(geometry.width, geometry.height, 80).displayPreset(), preset);
        ++index;
    }
}

TEST(VMHardwareProfileTest, PresetNeedsWidthHeightAndDensityToMatch)
{
    EXPECT_EQ(profile(1920, 1200, 80).displayPreset(), Preset::wuxga1920x1200);
    EXPECT_EQ(profile(1920, 1200, 110).displayPreset(), std::nullopt);
    EXPECT_EQ(profile(1200, 1920, 80).displayPreset(), std::nullopt);
    EXPECT_EQ(profile(1920, 1080, 80).displayPreset(), std::nullopt);
}

TEST(VMHardwareProfileTest, JSONHasAllSixKeysAndAllAreRequired)
{
    const VMHardwareProfile original = profile(1920, 1200, 80);
    EXPECT_EQ(compactJSON(original), R"({"cpuCount":4,"diskSizeBytes":68719476736,"displayHeight":1200,)"
                                     R"("displayPixelsPerInch":80,"displayWidth":1920,"memorySizeBytes":8589934592})");
    EXPECT_EQ(roundTripped(original), original);

    for (const char *key : {"cpuCount", "memorySizeBytes", "diskSizeBytes", "displayWidth", "displayHeight", "displayPixelsPerInch"}) {
        Json json = JSONCodec<VMHardwareProfile>::encode(original);
        json.erase(key);
        expectDecodingFails<VMHardwareProfile>(json.dump(), JSONDecodingError::Kind::keyNotFound);
    }
    Json negativeMemory = JSONCodec<VMHardwareProfile>::encode(original);
    negativeMemory["memorySizeBytes"] = -1;
    expectDecodingFails<VMHardwareProfile>(negativeMemory.dump(), JSONDecodingError::Kind::dataCorrupted);
}
