// SPDX-License-Identifier: MIT
#include "VirtualMachineSessionTable.h"

#include "SecurityScopedAccess.h"
#include "VirtualMachineSession.h"
#include "VirtualMachine.h"

VirtualMachineSessionTable::VirtualMachineSessionTable(SecurityScopedAccess &access, QObject *parent)
    : QObject(parent)
    , m_access(access)
{
}

VirtualMachineSessionTable::~VirtualMachineSessionTable() = default;

bool VirtualMachineSessionTable::isActive(const QUuid &id) const
{
    const auto found = m_sessions.constFind(id);
    if (found == m_sessions.cend())
        return false;
    const VirtualMachineSession &session = **found;
    switch (session.runtimeState()) {
    case VMRuntimeState::stopped:
        return false;
    case VMRuntimeState::error:
        // A failed operation may have left the machine running; a machine that has stopped holds nothing.
        return !session.virtualMachine().canStart();
    default:
        return true;
    }
}

void VirtualMachineSessionTable::insert(std::shared_ptr<VirtualMachineSession> session)
{
    Q_ASSERT(session);
    const QUuid id = session->id();
    if (m_sessions.contains(id))
        remove(id);
    m_sessions.insert(id, std::move(session));
    Q_EMIT sessionsChanged();
}

void VirtualMachineSessionTable::remove(const QUuid &id)
{
    const std::shared_ptr<VirtualMachineSession> removed = m_sessions.take(id);
    if (!removed)
        return;
    for (const QString &url : removed->accessedSecurityScopedURLs())
        m_access.stopAccessing(url);
    Q_EMIT sessionsChanged();
}
