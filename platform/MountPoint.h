// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/// One mounted file system as the mount table lists it.
struct MountPoint {
    /// Where the file system appears now, e.g. "/media/disk".
    QString mountPoint;
    /// The folder of the file system that appears there: "/" unless it is a bind mount of a subfolder.
    QString root;
    /// Names the file system across mounts and restarts: "uuid:<UUID>" where the host knows one,
    /// else "source:<type>:<source>" from the mount table.
    QString fileSystemId;

    bool operator==(const MountPoint &) const = default;
};
