// SPDX-License-Identifier: MIT
#include "VMOperationLeases.h"

#include "VirtualMachineError.h"


VMOperationLeases::Lease VMOperationLeases::acquire(const QUuid &id, const QString &operation)
{
    requireNone(id);
    m_operations.insert(id, operation);
    Q_EMIT leasesChanged(id);
    return Lease(*this, [this, id] { release(id); });
}

std::optional<QString> VMOperationLeases::operation(const QUuid &id) const
{
    const auto found = m_operations.constFind(id);
    if (found == m_operations.cend())
        return std::nullopt;
    return *found;
}

void VMOperationLeases::requireNone(const QUuid &id) const
{
    if (const std::optional<QString> running = operation(id))
        throw VirtualMachineError::invalidOperation(QStringLiteral("%1 of this virtual machine is in progress.").arg(*running));
}

void VMOperationLeases::release(const QUuid &id)
{
    if (m_operations.remove(id))
        Q_EMIT leasesChanged(id);
}
