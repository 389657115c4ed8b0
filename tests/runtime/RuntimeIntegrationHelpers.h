// SPDX-License-Identifier: MIT
#pragma once

#include "QEMUMachines.h"
#include "VirtualMachineError.h"
#include "VirtualMachineSession.h"

#include <QCoroTask>
#include <QString>

#include <exception>
#include <memory>

/// Helpers shared by the tests that run real QEMU machines through the runtime.
namespace RuntimeIntegration {

/// The user's own QEMU machines, of which these tests have none.
class NoQEMUMachines final : public QEMUMachines
{
public:
    bool isRunning(const QUuid &) const override { return false; }
    QCoro::Task<> start(VMBundle) override { throw VirtualMachineError::invalidOperation(QStringLiteral("No QEMU here.")); }
    QCoro::Task<> stop(QUuid) override { co_return; }
};

/// What a failed task threw, as a test failure message shows it.
inline QString describe(const std::exception_ptr &failure)
{
    if (!failure)
        return QStringLiteral("no failure");
    try {
        std::rethrow_exception(failure);
    } catch (const VirtualMachineError &error) {
        return error.errorDescription();
    } catch (const std::exception &error) {
        return QString::fromUtf8(error.what());
    }
}

/// Awaits a starting session and keeps it in `session`, so that a task of no result can run the start.
inline QCoro::Task<> keep(QCoro::Task<std::shared_ptr<VirtualMachineSession>> starting, std::shared_ptr<VirtualMachineSession> &session)
{
    session = co_await starting;
}

} // namespace RuntimeIntegration
