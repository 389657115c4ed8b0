// SPDX-License-Identifier: MIT
#include "VMHardwareProfile.h"

VMHardwareProfile::DisplayGeometry VMHardwareProfile::geometry(DisplayPreset preset)
{
    constexpr qint64 pixelsPerInch = 80;
    switch (preset) {
    case DisplayPreset::svga800x600:
        return {800, 600, pixelsPerInch};
    case DisplayPreset::xga1024x768:
        return {1024, 768, pixelsPerInch};
    case DisplayPreset::wxga1280x800:
        return {1280, 800, pixelsPerInch};
    case DisplayPreset::sxga1440x900:
        return {1440, 900, pixelsPerInch};
    case DisplayPreset::wsxga1680x1050:
        return {1680, 1050, pixelsPerInch};
    case DisplayPreset::wuxga1920x1200:
        return {1920, 1200, pixelsPerInch};
    case DisplayPreset::wqhd2560x1600:
        return {2560, 1600, pixelsPerInch};
    }
    Q_UNREACHABLE();
}

std::optional<VMHardwareProfile::DisplayPreset> VMHardwareProfile::displayPreset() const
{
    for (const DisplayPreset preset : allCases<DisplayPreset>()) {
        const DisplayGeometry candidate = geometry(preset);
        if (candidate.width == displayWidth && candidate.height == displayHeight && candidate.pixelsPerInch == displayPixelsPerInch)
            return preset;
    }
    return std::nullopt;
}

void to_json(Json &json, const VMHardwareProfile &profile)
{
    JSONObjectWriter writer;
    writer.set("cpuCount", profile.cpuCount);
    writer.set("memorySizeBytes", profile.memorySizeBytes);
    writer.set("diskSizeBytes", profile.diskSizeBytes);
    writer.set("displayWidth", profile.displayWidth);
    writer.set("displayHeight", profile.displayHeight);
    writer.set("displayPixelsPerInch", profile.displayPixelsPerInch);
    json = writer.take();
}

void from_json(const Json &json, VMHardwareProfile &profile)
{
    const JSONObjectReader reader(json);
    profile.cpuCount = reader.required<qint64>("cpuCount");
    profile.memorySizeBytes = reader.required<quint64>("memorySizeBytes");
    profile.diskSizeBytes = reader.required<quint64>("diskSizeBytes");
    profile.displayWidth = reader.required<qint64>("displayWidth");
    profile.displayHeight = reader.required<qint64>("displayHeight");
    profile.displayPixelsPerInch = reader.required<qint64>("displayPixelsPerInch");
}
