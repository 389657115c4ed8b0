// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

/// One item dropped on a VM's pane and what became of it. Kept in memory only; identified by `id`.
struct TransferredFile {
    QUuid id;
    /// The dropped item's own name.
    QString name;
    /// The bytes of the files copied; 0 for a failure.
    quint64 sizeBytes = 0;
    QDateTime transferredAt;
    /// Whether the item now lies in the shared folder.
    bool success = false;
    /// What went wrong, as the user reads it; absent on success.
    std::optional<QString> errorMessage;

    bool operator==(const TransferredFile &) const = default;
};
