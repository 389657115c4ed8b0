// SPDX-License-Identifier: MIT
#pragma once

#include "BridgedNetworkInterface.h"
#include "HostBridgedNetworkInterfaceOption.h"
#include "SysfsNetworkInterfaces.h"

#include <QList>
#include <QString>

#include <optional>

/**
 * Which host network interfaces a VM can be bridged onto: the choices of the
 * interface picker, and the interface behind an identifier a VM stored. The
 * host is asked afresh on every call, so interfaces that come and go while
 * the application runs are seen at the next one. GUI thread only.
 *
 * @code
 * const HostNetworkService network;
 * for (const HostBridgedNetworkInterfaceOption &option : network.availableInterfaces())
 *     picker->addItem(option.label(), option.identifier);
 * const auto bridged = network.interface(*configuration.bridgedInterfaceIdentifier);
 * @endcode
 */
class HostNetworkService final
{
public:
    explicit HostNetworkService(SysfsNetworkInterfaces host = SysfsNetworkInterfaces());

    /**
     * One option per bridgeable interface, sorted by label, ignoring letter
     * case; options whose labels differ only in case keep the host's order.
     * Nothing is dropped, not even duplicates.
     */
    QList<HostBridgedNetworkInterfaceOption> availableInterfaces() const;

    /// The first interface, in the host's order, whose identifier equals `identifier` exactly (case-sensitive).
    std::optional<BridgedNetworkInterface> interface(const QString &identifier) const;

private:
    SysfsNetworkInterfaces m_host;
};
