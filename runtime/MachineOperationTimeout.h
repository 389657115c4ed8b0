// SPDX-License-Identifier: MIT
#pragma once

#include <QCoroTask>
#include <QtGlobal>

#include <chrono>

/**
 * Bounds the wait for one operation of a virtual machine. The backends time
 * out their own steps; this is the outer limit of the services that drive a
 * machine, so that no caller waits forever on a backend that never answers.
 * The limits are longer than the backend's own, whose more precise errors
 * therefore come first.
 *
 * @code
 * co_await MachineOperationTimeout::bound(machine.pause(), MachineOperationTimeout::operationLimit);
 * @endcode
 */
namespace MachineOperationTimeout {

/// Start, stop, pause and resume.
inline constexpr std::chrono::milliseconds operationLimit = std::chrono::minutes(3);

/// Saving or restoring `memorySize` bytes of guest memory: the operation limit plus 16 MiB a second.
std::chrono::milliseconds stateTransferLimit(quint64 memorySize);

/**
 * Completes as `operation` does, or throws VirtualizationError
 * (internalError) once `limit` has passed without it. An operation given up
 * on runs to its end unobserved.
 */
QCoro::Task<> bound(QCoro::Task<> operation, std::chrono::milliseconds limit);

} // namespace MachineOperationTimeout
