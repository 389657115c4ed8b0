// SPDX-License-Identifier: MIT
#pragma once

#include "FirstBootBootstrapRequest.h"
#include "VMHardwareProfile.h"
#include "VMInstallSource.h"
#include "VMMediaConfiguration.h"
#include "VMNetworkConfiguration.h"
#include "VMSharedFolder.h"

#include <QList>
#include <QString>

#include <optional>

/// What the create wizard asks of a new macOS VM; not stored.
struct VMInstallRequest {
    QString name;
    VMHardwareProfile hardwareProfile;
    VMInstallSource installSource;
    VMNetworkConfiguration networkConfiguration;
    VMMediaConfiguration mediaConfiguration;
    /// The folder in which the .vm bundle folder is made.
    QString destinationDirectoryURL;
    QList<VMSharedFolder> sharedFolders;
    std::optional<FirstBootBootstrapRequest> bootstrapRequest;

    bool operator==(const VMInstallRequest &) const = default;
};
