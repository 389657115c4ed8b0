// SPDX-License-Identifier: MIT
#pragma once

#include "PrivateNetworkID.h"
#include "VMBundle.h"
#include "VMBundleID.h"
#include "VMPrivateNetwork.h"

#include <QList>
#include <QObject>
#include <QString>

class LoggingService;
class VMNetworkTopologyService;
class VMStore;

/**
 * The state and actions behind the details pane's private-network panel:
 * the application's private networks and the VMs that can join them, each
 * followed as it changes. A change the service refuses or cannot store is
 * logged ("Details") and emitted through failed() for the pane's banner.
 * GUI thread only.
 *
 * @code
 * NetworkTopologyViewModel networks(topology, store, logging);
 * networks.createNetwork(QStringLiteral("Lab"), QStringLiteral("10.0.7.0/24"));
 * @endcode
 */
class NetworkTopologyViewModel final : public QObject
{
    Q_OBJECT

public:
    NetworkTopologyViewModel(
        VMNetworkTopologyService &topology, const VMStore &store, const LoggingService &logging, QObject *parent = nullptr);

    const QList<VMPrivateNetwork> &privateNetworks() const;
    /// Every VM of the library, in the store's order.
    const QList<VMBundle> &availableVMs() const;

    /// Stores the network with its subnet trimmed; a subnet that is not an IPv4 network in CIDR notation is refused (IPv4Subnet).
    void createNetwork(const QString &name, const QString &subnet);
    void deleteNetwork(const PrivateNetworkID &networkID);
    void addMember(const VMBundleID &bundleID, const PrivateNetworkID &networkID);
    void removeMember(const VMBundleID &bundleID, const PrivateNetworkID &networkID);

Q_SIGNALS:
    void privateNetworksChanged(const QList<VMPrivateNetwork> &networks);
    void availableVMsChanged(const QList<VMBundle> &vms);
    /// A change was refused or failed; `message` is the banner's text.
    void failed(const QString &message);

private:
    /// Runs a quick change of the networks; a failure is reported.
    template <typename Change> void change(Change apply);
    void report(const QString &message);

    VMNetworkTopologyService &m_topology;
    const VMStore &m_store;
    const LoggingService &m_logging;
};
