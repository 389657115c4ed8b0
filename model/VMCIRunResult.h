// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"
#include "VMCIRunStatus.h"

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

/**
 * One run of a CI configuration in one VM, from start to its outcome.
 * The last five fields are known only once the run has come that far and
 * are left out of the JSON while absent. Identified by `id`.
 */
struct VMCIRunResult {
    QUuid id;
    QUuid configurationID;
    /// The metadata identifier of the VM the run used.
    QUuid bundleID;
    VMCIRunStatus status = VMCIRunStatus::idle;
    QDateTime startedAt;
    std::optional<QDateTime> completedAt;
    std::optional<qint64> exitCode;
    /// Where the captured output lies.
    std::optional<QString> outputPath;
    std::optional<QString> errorMessage;
    std::optional<double> durationSeconds;

    // How a run's row shows it.

    /// The status symbol; see symbolName(VMCIRunStatus, std::optional<qint64>).
    QString statusSymbolName() const { return symbolName(status, exitCode); }
    /// The duration as "1m 5s" ("Calculating…" when it cannot be shown); absent without a duration.
    std::optional<QString> durationText() const;
    /// "Exit: " and the code; absent without an exit code.
    std::optional<QString> exitCodeText() const;
    /// Green for code 0, red for any other; absent without an exit code.
    std::optional<VMCIRunColor> exitCodeColor() const;

    bool operator==(const VMCIRunResult &) const = default;
};

void to_json(Json &json, const VMCIRunResult &result);
void from_json(const Json &json, VMCIRunResult &result);
