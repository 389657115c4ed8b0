// SPDX-License-Identifier: MIT
#pragma once

#include "VMLease.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QUuid>

#include <optional>

/**
 * The long operations running on VMs' files (an export, a backup, a
 * snapshot, a clone, a reclaim), at most one per VM. Such an operation copies
 * or removes files on a worker thread for a while; the lease it holds keeps a
 * start, a delete, a settings change or a second copy of the same VM from
 * landing in the middle. A lease is released when its holder goes, on
 * success, failure and cancel alike. GUI thread only.
 *
 * @code
 * const VMOperationLeases::Lease lease = leases.acquire(id, QStringLiteral("An export"));
 * co_await exports.exportVM(...);  // the lease is released when it goes out of scope
 * @endcode
 */
class VMOperationLeases final : public QObject
{
    Q_OBJECT

public:
    /// Holds a VM's lease until destroyed. Move-only; a moved-from lease holds nothing.
    using Lease = VMLease;

    using QObject::QObject;

    /**
     * Takes the VM's lease for `operation`, a noun phrase with its article
     * ("An export"). Throws VirtualMachineError invalidOperation naming the
     * running operation when the VM's lease is held.
     */
    Lease acquire(const QUuid &id, const QString &operation);

    /// The operation holding the VM's lease, if any.
    std::optional<QString> operation(const QUuid &id) const;

    /// Throws invalidOperation "<operation> of this virtual machine is in progress." while the VM's lease is held.
    void requireNone(const QUuid &id) const;

Q_SIGNALS:
    /// The VM's lease was taken or released.
    void leasesChanged(const QUuid &id);

private:
    void release(const QUuid &id);

    QHash<QUuid, QString> m_operations;
};
