// SPDX-License-Identifier: MIT
#include "PlatformMacOSInstallBackend.h"

#include "MacOSInstaller.h"
#include "VirtualMachineFactory.h"

PlatformMacOSInstallBackend::PlatformMacOSInstallBackend(VirtualMachineFactory &factory)
    : m_factory(factory)
{
}

std::optional<QString> PlatformMacOSInstallBackend::hostRefusal() const
{
    if (MacOSInstaller::isAvailableOnThisHost())
        return std::nullopt;
    return MacOSInstaller::unavailableDescription();
}

QCoro::Task<MacOSRestoreImage> PlatformMacOSInstallBackend::loadRestoreImage(QString path)
{
    co_return co_await MacOSRestoreImage::load(path);
}

QCoro::Task<> PlatformMacOSInstallBackend::install(VirtualMachineConfiguration configuration, QString restoreImagePath, QString logDirectory,
                                                   InstallerProgress progress)
{
    Q_UNUSED(progress); // this host's installer reports no progress: it refuses at once
    const std::unique_ptr<VirtualMachine> machine = m_factory.makeVirtualMachine(configuration, logDirectory);
    MacOSInstaller installer(*machine, restoreImagePath);
    co_await installer.install();
}
