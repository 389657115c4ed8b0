// SPDX-License-Identifier: MIT
#include "VMNetworkTopologyService.h"

#include "LoggingService.h"
#include "ProductStemFolder.h"
#include "VirtualMachineError.h"

#include <QDateTime>

namespace {
const QString category = QStringLiteral("Network");
}

VMNetworkTopologyService::VMNetworkTopologyService(const LoggingService &logging, const QString &storeURL, QObject *parent)
    : QObject(parent)
    , m_logging(logging)
    , m_file(storeURL, logging, category)
    , m_privateNetworks(m_file.load().value_or(VMNetworkTopologyStore {}).privateNetworks)
{
}

QString VMNetworkTopologyService::defaultStoreURL() { return productStemFolder() + QLatin1Char('/') + storeFileName.toString(); }

void VMNetworkTopologyService::setPrivateNetworks(const QList<VMPrivateNetwork> &networks)
{
    m_privateNetworks = networks;
    Q_EMIT privateNetworksChanged(m_privateNetworks);
}

VMPrivateNetwork VMNetworkTopologyService::createNetwork(const QString &name, const QString &subnet)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const VMPrivateNetwork network { QUuid::createUuid(), name, subnet, {}, now.addMSecs(-now.time().msec()), true };
    setPrivateNetworks(m_privateNetworks + QList { network });
    persist();
    m_logging.log(QStringLiteral("Created private network '") + name + QStringLiteral("' with subnet ") + subnet, category);
    return network;
}

void VMNetworkTopologyService::addMember(const VMBundleID &bundle, const PrivateNetworkID &networkID)
{
    const QUuid &bundleID = bundle.value;
    QList<VMPrivateNetwork> networks = m_privateNetworks;
    const auto network = std::find_if(networks.begin(), networks.end(), [&](const VMPrivateNetwork &entry) { return entry.id == networkID.value; });
    if (network == networks.end())
        throw VirtualMachineError::invalidOperation(QStringLiteral("Private network not found."));
    if (network->memberBundleIDs.contains(bundleID))
        return;
    network->memberBundleIDs.append(bundleID);
    setPrivateNetworks(networks);
    persist();
}

void VMNetworkTopologyService::removeMember(const VMBundleID &bundleID, const PrivateNetworkID &networkID)
{
    QList<VMPrivateNetwork> networks = m_privateNetworks;
    const auto network = std::find_if(networks.begin(), networks.end(), [&](const VMPrivateNetwork &entry) { return entry.id == networkID.value; });
    if (network == networks.end())
        return;
    network->memberBundleIDs.removeAll(bundleID.value);
    setPrivateNetworks(networks);
    persist();
}

void VMNetworkTopologyService::deleteNetwork(const PrivateNetworkID &networkID)
{
    QList<VMPrivateNetwork> networks = m_privateNetworks;
    networks.removeIf([&](const VMPrivateNetwork &entry) { return entry.id == networkID.value; });
    // Written before it is shown, so a network that could not be removed on disk stays in the list.
    m_file.save(VMNetworkTopologyStore { networks });
    setPrivateNetworks(networks);
}

void VMNetworkTopologyService::persist() { m_file.save(VMNetworkTopologyStore { m_privateNetworks }); }
