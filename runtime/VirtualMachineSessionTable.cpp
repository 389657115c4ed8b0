// SPDX-License-Identifier: MIT
#include "VirtualMachineSessionTable.h"

#include "SecurityScopedAccess.h"
#include "VirtualMachineSession.h"

VirtualMachineSessionTable::VirtualMachineSessionTable(SecurityScopedAccess &access, QObject *parent)
    : QObject(parent)
    , m_access(access)
{
}

VirtualMachineSessionTable::~VirtualMachineSessionTable() = default;

bool VirtualMachineSessionTable::isActive(const QUuid &id) const
{
    const auto found = m_sessions.constFind(id);
    return found != m_sessions.cend() && (*found)->runtimeState() != VMRuntimeState::stopped;
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
