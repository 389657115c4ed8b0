// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

/**
 * One snapshot of a VM: a copy of its disk image, and of its saved machine
 * state when it had one, kept in "Snapshots/<ID>/" inside the bundle, with
 * the hardware figures of the moment it was taken. Only `name` changes after
 * creation. Identified by `id`.
 */
struct VMSnapshot {
    /// Unique within the timeline; its upper-case text names the snapshot's folder.
    QUuid id;
    QString name;
    /// "" for the snapshots the system takes by itself.
    QString notes;
    QDateTime createdAt;
    /// The snapshot that was active when this one was taken; absent when none was.
    std::optional<QUuid> parentSnapshotID;
    quint64 diskSizeBytes = 0;
    quint64 memorySizeBytes = 0;
    qint64 cpuCount = 0;
    std::optional<QString> guestOSDisplayName;
    /// "Snapshots/<ID>/MachineState.bin", or "" when the VM had no saved state. Untrusted when read from disk.
    QString stateRelativePath;
    /// "Snapshots/<ID>/Disk.img". Untrusted when read from disk.
    QString diskRelativePath;
    /// Taken by the system (before a CI run or a guest update) rather than by the user.
    bool isAutoSnapshot = false;

    /// "2 CPUs • 8 GB • 64 GB": CPUs, memory, disk.
    QString hardwareSummary() const;

    bool operator==(const VMSnapshot &) const = default;
};

void to_json(Json &json, const VMSnapshot &snapshot);
void from_json(const Json &json, VMSnapshot &snapshot);
