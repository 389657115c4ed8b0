// SPDX-License-Identifier: MIT
#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QUuid>

#include <memory>

class SecurityScopedAccess;
class VirtualMachineSession;

/**
 * The runtime sessions the application keeps, at most one per VM
 * identifier, published with sessionsChanged() on every change. A session
 * stays after its machine stops; removing it stops the security-scoped
 * access its configuration started, in list order. Removing never stops the
 * machine itself (only the last holder of a session does, by letting it
 * go). GUI thread only.
 *
 * @code
 * VirtualMachineSessionTable sessions(access);
 * sessions.insert(session);
 * if (sessions.isActive(id)) ...
 * sessions.remove(id);
 * @endcode
 */
class VirtualMachineSessionTable final : public QObject
{
    Q_OBJECT

public:
    explicit VirtualMachineSessionTable(SecurityScopedAccess &access, QObject *parent = nullptr);
    ~VirtualMachineSessionTable() override;

    /// The VM's session, or null.
    std::shared_ptr<VirtualMachineSession> session(const QUuid &id) const { return m_sessions.value(id); }
    bool contains(const QUuid &id) const { return m_sessions.contains(id); }
    QList<QUuid> ids() const { return m_sessions.keys(); }
    /// Whether the VM has a session whose run state is anything but stopped, or is error while its machine still runs.
    bool isActive(const QUuid &id) const;

    /// Keeps `session` under its identifier; a session already kept for it is removed first.
    void insert(std::shared_ptr<VirtualMachineSession> session);
    /// Drops the VM's session, if any, and stops the security-scoped access of its configuration.
    void remove(const QUuid &id);

Q_SIGNALS:
    void sessionsChanged();

private:
    SecurityScopedAccess &m_access;
    QHash<QUuid, std::shared_ptr<VirtualMachineSession>> m_sessions;
};
