// SPDX-License-Identifier: MIT
#pragma once

#include "VirtualizationError.h"

#include <chrono>
#include <deque>
#include <map>
#include <optional>

/// What a scripted machine does for one call of an operation: succeed or throw, after an optional delay.
struct ScriptedAnswer {
    /// Thrown by the operation; success when absent.
    std::optional<VirtualizationError> error;
    std::chrono::milliseconds delay{0};

    static ScriptedAnswer success(std::chrono::milliseconds delay = {}) { return {std::nullopt, delay}; }
    static ScriptedAnswer failure(VirtualizationError error, std::chrono::milliseconds delay = {}) { return {std::move(error), delay}; }
};

/**
 * The answers a ScriptedVirtualMachine gives, one queue per operation, used
 * up in order; an operation whose queue is empty succeeds at once.
 *
 * @code
 * VirtualMachineScript script;
 * script.enqueue(VirtualMachineScript::Operation::start,
 *                ScriptedAnswer::failure({VirtualizationError::Code::internalError, QStringLiteral("no")}, 50ms));
 * @endcode
 */
class VirtualMachineScript
{
public:
    enum class Operation { start, stop, pause, resume, saveMachineState, restoreMachineState };

    void enqueue(Operation operation, ScriptedAnswer answer);
    /// Takes the next answer for `operation`; success when none is left.
    ScriptedAnswer next(Operation operation);
    /// How many answers are still queued for `operation`.
    qsizetype pending(Operation operation) const;

private:
    std::map<Operation, std::deque<ScriptedAnswer>> m_answers;
};
