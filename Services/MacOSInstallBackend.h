// SPDX-License-Identifier: MIT
#pragma once

#include "MacOSRestoreImage.h"
#include "VirtualMachineConfiguration.h"

#include <QCoroTask>
#include <QString>

#include <functional>
#include <optional>

/**
 * The part of a macOS installation that the virtualization layer does:
 * whether this host can install macOS at all, reading a restore image, and
 * running the installer on a machine made from an install-time
 * configuration. PlatformMacOSInstallBackend is the real one; tests script
 * their own.
 */
class MacOSInstallBackend
{
public:
    using InstallerProgress = std::function<void(double fractionCompleted)>;

    virtual ~MacOSInstallBackend() = default;

    /// Why this host cannot install macOS, as the virtualization layer says it; none when it can.
    virtual std::optional<QString> hostRefusal() const = 0;
    virtual QCoro::Task<MacOSRestoreImage> loadRestoreImage(QString path) = 0;
    /// Installs from the image at `restoreImagePath`; reports the installer's fraction as it changes, possibly late.
    virtual QCoro::Task<> install(VirtualMachineConfiguration configuration, QString restoreImagePath, QString logDirectory,
                                  InstallerProgress progress) = 0;
};
