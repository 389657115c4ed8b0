// SPDX-License-Identifier: MIT
#include "MacOSInstaller.h"

#include "VirtualizationError.h"

MacOSInstaller::MacOSInstaller(VirtualMachine &virtualMachine, QString restoreImageURL)
    : m_virtualMachine(virtualMachine)
    , m_restoreImageURL(std::move(restoreImageURL))
{
}

QCoro::Task<> MacOSInstaller::install()
{
    throw VirtualizationError(VirtualizationError::Code::notSupported, unavailableDescription());
    co_return;
}

QString MacOSInstaller::unavailableDescription()
{
    return QStringLiteral("macOS cannot be installed on this host: QEMU cannot boot macOS.");
}
