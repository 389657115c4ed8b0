// SPDX-License-Identifier: MIT
#pragma once

#include "VMBundle.h"
#include "VMPrivateNetwork.h"

#include <QList>
#include <QString>

/**
 * What the network topology panel shows of a network: its subtitle, the
 * member rows it can show and the VMs it can offer for adding.
 */
class NetworkTopologyTexts
{
public:
    /// "Subnet: <subnet> • <n> member(s)"; every stored member id counts.
    static QString subtitle(const VMPrivateNetwork &network);
    /// For each member id, the first VM with that id; ids of no known VM are skipped.
    static QList<VMBundle> memberRows(const VMPrivateNetwork &network, const QList<VMBundle> &vms);
    /// The VMs that are not members, in their given order.
    static QList<VMBundle> addCandidates(const VMPrivateNetwork &network, const QList<VMBundle> &vms);
    /// What the create sheet says of the subnet: the network is a grouping, not a running network.
    static QString subnetExplanation();
    /// What the panel says while there is no network: what one does on this host, as the sheet says it.
    static QString emptyStateMessage();
};
