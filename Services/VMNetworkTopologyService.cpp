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

void VMNetworkTopologyService::addMember(const QUuid &bundleID, const QUuid &networkID)
{
    QList<VMPrivateNetwork> networks = m_privateNetworks;
    const auto network = std::find_if(networks.begin(), networks.end(), [&](const VMPrivateNetwork &entry) { return entry.id == networkID; });
    if (network == networks.end())
        throw VirtualMachineError::invalidOperation(QStringLiteral("Private network not found."));
    if (network->memberBundleIDs.contains(bundleID))
        return;
    network->memberBundleIDs.append(bundleID);
    setPrivateNetworks(networks);
    persist();
}

void VMNetworkTopologyService::removeMember(const QUuid &bundleID, const QUuid &networkID)
{
    QList<VMPrivateNetwork> networks = m_privateNetworks;
    const auto network = std::find_if(networks.begin(), networks.end(), [&](const VMPrivateNetwork &entry) { return entry.id == networkID; });
    if (network == networks.end())
        return;
    network->memberBundleIDs.removeAll(bundleID);
    setPrivateNetworks(networks);
    persist();
}

void VMNetworkTopologyService::persist() { m_file.save(VMNetworkTopologyStore { m_privateNetworks }); }
