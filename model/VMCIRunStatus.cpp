// SPDX-License-Identifier: MIT
#include "VMCIRunStatus.h"

QString displayName(VMCIRunStatus status)
{
    switch (status) {
    case VMCIRunStatus::idle:
        return QStringLiteral("Idle");
    case VMCIRunStatus::preparing:
        return QStringLiteral("Preparing");
    case VMCIRunStatus::snapshotting:
        return QStringLiteral("Taking Snapshot");
    case VMCIRunStatus::running:
        return QStringLiteral("Running");
    case VMCIRunStatus::capturing:
        return QStringLiteral("Capturing Output");
    case VMCIRunStatus::restoring:
        return QStringLiteral("Restoring");
    case VMCIRunStatus::completed:
        return QStringLiteral("Completed");
    case VMCIRunStatus::failed:
        return QStringLiteral("Failed");
    case VMCIRunStatus::timedOut:
        return QStringLiteral("Timed Out");
    }
    Q_UNREACHABLE();
}

QString symbolName(VMCIRunStatus status, std::optional<qint64> exitCode)
{
    switch (status) {
    case VMCIRunStatus::idle:
    case VMCIRunStatus::preparing:
    case VMCIRunStatus::snapshotting:
    case VMCIRunStatus::capturing:
    case VMCIRunStatus::restoring:
        return QStringLiteral("circle");
    case VMCIRunStatus::running:
        return QStringLiteral("circle.dotted");
    case VMCIRunStatus::completed:
        return exitCode == 0 ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("xmark.circle.fill");
    case VMCIRunStatus::failed:
        return QStringLiteral("xmark.circle.fill");
    case VMCIRunStatus::timedOut:
        return QStringLiteral("clock.badge.xmark");
    }
    Q_UNREACHABLE();
}

VMCIRunColor symbolColor(VMCIRunStatus status)
{
    switch (status) {
    case VMCIRunStatus::idle:
    case VMCIRunStatus::preparing:
    case VMCIRunStatus::snapshotting:
    case VMCIRunStatus::capturing:
    case VMCIRunStatus::restoring:
        return VMCIRunColor::secondary;
    case VMCIRunStatus::running:
        return VMCIRunColor::accent;
    case VMCIRunStatus::completed:
        return VMCIRunColor::green;
    case VMCIRunStatus::failed:
    case VMCIRunStatus::timedOut:
        return VMCIRunColor::red;
    }
    Q_UNREACHABLE();
}
