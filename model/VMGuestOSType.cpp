// SPDX-License-Identifier: MIT
#include "VMGuestOSType.h"

#include "HostInstallAdvice.h"

QString displayName(VMGuestOSType type)
{
    switch (type) {
    case VMGuestOSType::macOS:
        return QStringLiteral("macOS");
    case VMGuestOSType::linux:
        return QStringLiteral("Linux");
    case VMGuestOSType::windows:
        return QStringLiteral("Windows");
    }
    Q_UNREACHABLE();
}

QString symbolName(VMGuestOSType type)
{
    switch (type) {
    case VMGuestOSType::macOS:
        return QStringLiteral("apple.logo");
    case VMGuestOSType::linux:
        return QStringLiteral("terminal");
    case VMGuestOSType::windows:
        return QStringLiteral("pc");
    }
    Q_UNREACHABLE();
}

QString subtitle(VMGuestOSType type)
{
    switch (type) {
    case VMGuestOSType::macOS:
        return QStringLiteral("Full macOS guest");
    case VMGuestOSType::linux:
        return QStringLiteral("Linux ARM64 guest with Virtio drivers");
    case VMGuestOSType::windows:
        return QStringLiteral("Windows 11 ARM via QEMU (requires ") + HostInstallAdvice::qemuInstallCommand.toString() + QLatin1Char(')');
    }
    Q_UNREACHABLE();
}
