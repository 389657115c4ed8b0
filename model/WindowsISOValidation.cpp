// SPDX-License-Identifier: MIT
#include "WindowsISOValidation.h"

QString WindowsISOValidation::message() const
{
    switch (status) {
    case Status::valid:
        return QStringLiteral("Valid Windows 11 ARM64 ISO");
    case Status::tooSmall:
        return QStringLiteral("This file is too small to be a Windows ISO (minimum ~4 GB expected).");
    case Status::notBootable:
        return QStringLiteral("This file does not appear to be a bootable ISO image.");
    case Status::notWindowsInstaller:
        return QStringLiteral("This ISO is not a Windows installation image: it holds no sources/install.wim or sources/install.esd.");
    case Status::unknown:
        return QStringLiteral("Could not validate this file.");
    case Status::invalidArchitecture:
        break;
    }
    return QStringLiteral("This ISO is ") + architectureText
        + QStringLiteral(" — it cannot run here: Windows VMs on this host are ARM64 machines and need an ARM64 image.");
}
