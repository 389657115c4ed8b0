// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"
#include "RawValueEnum.h"

#include <QtGlobal>

#include <optional>

/**
 * The virtual hardware of a VM: CPUs, memory, disk capacity and display.
 * It is the authority for the copies the metadata keeps at its top level, and
 * applies no limits of its own; its users bound the values.
 */
struct VMHardwareProfile {
    /// The standard display sizes the settings offer, all at 80 pixels per inch.
    enum class DisplayPreset {
        svga800x600,
        xga1024x768,
        wxga1280x800,
        sxga1440x900,
        wsxga1680x1050,
        wuxga1920x1200,
        wqhd2560x1600,
    };

    /// The geometry of one preset.
    struct DisplayGeometry {
        qint64 width = 0;
        qint64 height = 0;
        qint64 pixelsPerInch = 0;
    };

    qint64 cpuCount = 0;
    quint64 memorySizeBytes = 0;
    quint64 diskSizeBytes = 0;
    qint64 displayWidth = 0;
    qint64 displayHeight = 0;
    qint64 displayPixelsPerInch = 0;

    static DisplayGeometry geometry(DisplayPreset preset);

    /// The first preset, in declaration order, whose width, height and density all match; none otherwise.
    std::optional<DisplayPreset> displayPreset() const;

    bool operator==(const VMHardwareProfile &) const = default;
};

template <>
struct RawValues<VMHardwareProfile::DisplayPreset> {
    using Preset = VMHardwareProfile::DisplayPreset;
    static constexpr std::string_view typeName = "DisplayPreset";
    static constexpr std::array table{
        std::pair{Preset::svga800x600, std::string_view{"svga800x600"}},
        std::pair{Preset::xga1024x768, std::string_view{"xga1024x768"}},
        std::pair{Preset::wxga1280x800, std::string_view{"wxga1280x800"}},
        std::pair{Preset::sxga1440x900, std::string_view{"sxga1440x900"}},
        std::pair{Preset::wsxga1680x1050, std::string_view{"wsxga1680x1050"}},
        std::pair{Preset::wuxga1920x1200, std::string_view{"wuxga1920x1200"}},
        std::pair{Preset::wqhd2560x1600, std::string_view{"wqhd2560x1600"}},
    };
};

void to_json(Json &json, const VMHardwareProfile &profile);
void from_json(const Json &json, VMHardwareProfile &profile);
