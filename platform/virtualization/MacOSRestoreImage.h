// SPDX-License-Identifier: MIT
#pragma once

#include "MacHardwareModel.h"

#include <QCoroTask>
#include <QString>
#include <QtGlobal>

#include <optional>

/**
 * A macOS restore image as the installer reads it. QEMU cannot boot macOS,
 * so on this host neither entry point yields one: both fail with
 * VirtualizationError (notSupported) saying so, and callers fall back to
 * their own catalogs.
 */
struct MacOSRestoreImage {
    struct OperatingSystemVersion {
        qint64 majorVersion = 0;
        qint64 minorVersion = 0;
        qint64 patchVersion = 0;

        bool operator==(const OperatingSystemVersion &) const = default;
    };

    /// The most capable machine the image can be installed on.
    struct ConfigurationRequirements {
        MacHardwareModel hardwareModel;
        qint64 minimumSupportedCPUCount = 0;
        quint64 minimumSupportedMemorySize = 0;

        bool operator==(const ConfigurationRequirements &) const = default;
    };

    QString url;
    QString buildVersion;
    OperatingSystemVersion operatingSystemVersion;
    std::optional<ConfigurationRequirements> mostFeaturefulSupportedConfiguration;

    /// The newest image that this host supports, from the vendor's service.
    static QCoro::Task<MacOSRestoreImage> fetchLatestSupported();
    /// The image in the local file `url`.
    static QCoro::Task<MacOSRestoreImage> load(QString url);

    /// Why neither works here.
    static QString unavailableDescription();

    bool operator==(const MacOSRestoreImage &) const = default;
};
