// SPDX-License-Identifier: MIT
#include "MacOSRestoreImage.h"

#include "VirtualizationError.h"

QCoro::Task<MacOSRestoreImage> MacOSRestoreImage::fetchLatestSupported()
{
    throw VirtualizationError(VirtualizationError::Code::notSupported, unavailableDescription());
    co_return MacOSRestoreImage{};
}

QCoro::Task<MacOSRestoreImage> MacOSRestoreImage::load(QString url)
{
    Q_UNUSED(url);
    throw VirtualizationError(VirtualizationError::Code::notSupported, unavailableDescription());
    co_return MacOSRestoreImage{};
}

QString MacOSRestoreImage::unavailableDescription()
{
    return QStringLiteral("macOS restore images cannot be used on this host: QEMU cannot boot macOS.");
}
