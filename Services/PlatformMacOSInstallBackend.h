// SPDX-License-Identifier: MIT
#pragma once

#include "MacOSInstallBackend.h"

class VirtualMachineFactory;

/**
 * Installs macOS through the virtualization layer: MacOSRestoreImage to
 * read the image, a machine of `factory` and MacOSInstaller to install. On
 * this host the layer refuses macOS, and hostRefusal() says so before
 * anything is made.
 */
class PlatformMacOSInstallBackend final : public MacOSInstallBackend
{
public:
    explicit PlatformMacOSInstallBackend(VirtualMachineFactory &factory);

    std::optional<QString> hostRefusal() const override;
    QCoro::Task<MacOSRestoreImage> loadRestoreImage(QString path) override;
    QCoro::Task<> install(VirtualMachineConfiguration configuration, QString restoreImagePath, QString logDirectory,
                          InstallerProgress progress) override;

private:
    VirtualMachineFactory &m_factory;
};
