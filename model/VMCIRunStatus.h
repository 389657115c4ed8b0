// SPDX-License-Identifier: MIT
#pragma once

#include "RawValueEnum.h"

#include <QString>
#include <QtGlobal>

#include <optional>

/// The step a CI run has reached; its raw value is its stored text.
enum class VMCIRunStatus {
    idle,
    preparing,
    snapshotting,
    running,
    capturing,
    restoring,
    completed,
    failed,
    timedOut,
};

template <>
struct RawValues<VMCIRunStatus> {
    static constexpr std::string_view typeName = "VMCIRunStatus";
    static constexpr std::array table{
        std::pair{VMCIRunStatus::idle, std::string_view{"idle"}},
        std::pair{VMCIRunStatus::preparing, std::string_view{"preparing"}},
        std::pair{VMCIRunStatus::snapshotting, std::string_view{"snapshotting"}},
        std::pair{VMCIRunStatus::running, std::string_view{"running"}},
        std::pair{VMCIRunStatus::capturing, std::string_view{"capturing"}},
        std::pair{VMCIRunStatus::restoring, std::string_view{"restoring"}},
        std::pair{VMCIRunStatus::completed, std::string_view{"completed"}},
        std::pair{VMCIRunStatus::failed, std::string_view{"failed"}},
        std::pair{VMCIRunStatus::timedOut, std::string_view{"timedOut"}},
    };
};

/// The colours in which CI runs are drawn; views map them to the style's secondary text, accent, green and red.
enum class VMCIRunColor {
    secondary,
    accent,
    green,
    red,
};

/// The text shown for a run in this status, e.g. "Taking Snapshot".
QString displayName(VMCIRunStatus status);

/**
 * The symbol shown beside a run in this status. A completed run shows a
 * check mark only when it exited with code 0, so its symbol needs the exit
 * code; a run without one shows the cross.
 */
QString symbolName(VMCIRunStatus status, std::optional<qint64> exitCode);

/// The colour of the status symbol.
VMCIRunColor symbolColor(VMCIRunStatus status);
