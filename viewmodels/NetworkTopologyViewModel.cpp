// SPDX-License-Identifier: MIT
#include "NetworkTopologyViewModel.h"

#include "IPv4Subnet.h"
#include "LoggingService.h"
#include "VMNetworkTopologyService.h"
#include "VMStore.h"

#include <exception>

NetworkTopologyViewModel::NetworkTopologyViewModel(
    VMNetworkTopologyService &topology, const VMStore &store, const LoggingService &logging, QObject *parent)
    : QObject(parent)
    , m_topology(topology)
    , m_store(store)
    , m_logging(logging)
{
    connect(&m_topology, &VMNetworkTopologyService::privateNetworksChanged, this, &NetworkTopologyViewModel::privateNetworksChanged);
    connect(&m_store, &VMStore::bundlesChanged, this, &NetworkTopologyViewModel::availableVMsChanged);
}

const QList<VMPrivateNetwork> &NetworkTopologyViewModel::privateNetworks() const
{
    return m_topology.privateNetworks();
}

const QList<VMBundle> &NetworkTopologyViewModel::availableVMs() const
{
    return m_store.bundles();
}

template <typename Change> void NetworkTopologyViewModel::change(Change apply)
{
    try {
        apply(m_topology);
    } catch (const std::exception &error) {
        report(QString::fromUtf8(error.what()));
    }
}

void NetworkTopologyViewModel::report(const QString &message)
{
    m_logging.log(message, QStringLiteral("Details"));
    Q_EMIT failed(message);
}

void NetworkTopologyViewModel::createNetwork(const QString &name, const QString &subnet)
{
    if (const std::optional<QString> refusal = IPv4Subnet::refusal(subnet)) {
        report(*refusal);
        return;
    }
    change([&](VMNetworkTopologyService &topology) { topology.createNetwork(name, subnet.trimmed()); });
}

void NetworkTopologyViewModel::deleteNetwork(const PrivateNetworkID &networkID)
{
    change([&](VMNetworkTopologyService &topology) { topology.deleteNetwork(networkID); });
}

void NetworkTopologyViewModel::addMember(const VMBundleID &bundleID, const PrivateNetworkID &networkID)
{
    change([&](VMNetworkTopologyService &topology) { topology.addMember(bundleID, networkID); });
}

void NetworkTopologyViewModel::removeMember(const VMBundleID &bundleID, const PrivateNetworkID &networkID)
{
    change([&](VMNetworkTopologyService &topology) { topology.removeMember(bundleID, networkID); });
}
