// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <optional>

/**
 * The verdict on one file picked as a Windows 11 ARM installation image:
 * whether it can be used, the architecture found (if any), and the file's
 * size and name. `message()` is the line shown under the file.
 */
struct WindowsISOValidation {
    enum class Status {
        invalidArchitecture,
        valid,
        tooSmall,
        notBootable,
        /// A bootable ISO without the Windows installation image (sources/install.wim or install.esd).
        notWindowsInstaller,
        unknown,
    };

    Status status = Status::unknown;
    /// For invalidArchitecture, the architecture named in the message.
    QString architectureText;
    std::optional<QString> detectedArchitecture;
    quint64 fileSizeBytes = 0;
    QString fileName;

    QString message() const;

    bool operator==(const WindowsISOValidation &) const = default;
};
