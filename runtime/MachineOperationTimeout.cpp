// SPDX-License-Identifier: MIT
#include "MachineOperationTimeout.h"

#include "SignalWaiter.h"
#include "VirtualizationError.h"

#include <QPointer>

#include <exception>
#include <memory>

namespace {

constexpr quint64 slowestTransferBytesPerSecond = quint64(16) << 20;

struct Outcome {
    std::exception_ptr failure;
};

/// Awaits the operation and tells the waiter, while the waiter still waits.
QCoro::Task<> relay(QCoro::Task<> operation, std::shared_ptr<Outcome> outcome, QPointer<SignalWaiter> waiter)
{
    try {
        co_await operation;
    } catch (...) {
        outcome->failure = std::current_exception();
    }
    if (waiter)
        waiter->settle(0);
}

} // namespace

std::chrono::milliseconds MachineOperationTimeout::stateTransferLimit(quint64 memorySize)
{
    return operationLimit + std::chrono::seconds(memorySize / slowestTransferBytesPerSecond);
}

QCoro::Task<> MachineOperationTimeout::bound(QCoro::Task<> operation, std::chrono::milliseconds limit)
{
    const auto outcome = std::make_shared<Outcome>();
    SignalWaiter waiter;
    const QCoro::Task<> relayed = relay(std::move(operation), outcome, QPointer<SignalWaiter>(&waiter));
    const std::optional<int> settled = co_await waiter.wait(limit);
    if (!settled)
        throw VirtualizationError(VirtualizationError::Code::internalError,
                                  QStringLiteral("The virtual machine did not answer within %1 seconds.")
                                      .arg(std::chrono::ceil<std::chrono::seconds>(limit).count()));
    if (outcome->failure)
        std::rethrow_exception(outcome->failure);
}
