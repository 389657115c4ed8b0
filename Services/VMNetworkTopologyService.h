// SPDX-License-Identifier: MIT
#pragma once

#include "PrivateNetworkID.h"
#include "StoredJSONFile.h"
#include "VMBundleID.h"
#include "VMNetworkTopologyStore.h"
#include "VMPrivateNetwork.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

class LoggingService;

/**
 * The user's named private networks and which VMs belong to each, kept in
 * NetworkTopology.json in the product-stem folder for the network topology
 * panel. Bookkeeping only: nothing that builds or runs a VM reads it. The
 * list is read once at construction (a missing, unreadable or undecodable
 * file gives an empty list without a log line) and every change writes it
 * whole; an undecodable file is moved aside before that write, never
 * overwritten. privateNetworksChanged() is emitted on every assignment.
 * GUI thread; log lines use the category "Network".
 *
 * @code
 * VMNetworkTopologyService topology(logging);
 * const VMPrivateNetwork lab = topology.createNetwork(QStringLiteral("Lab"), QStringLiteral("10.0.7.0/24"));
 * topology.addMember(VMBundleID(vmID), PrivateNetworkID(lab.id));
 * @endcode
 */
class VMNetworkTopologyService : public QObject
{
    Q_OBJECT

public:
    static constexpr QStringView storeFileName = u"NetworkTopology.json";

    explicit VMNetworkTopologyService(const LoggingService &logging, const QString &storeURL = defaultStoreURL(), QObject *parent = nullptr);

    /// In creation order.
    const QList<VMPrivateNetwork> &privateNetworks() const { return m_privateNetworks; }
    /// Replaces the list in memory without writing it.
    void setPrivateNetworks(const QList<VMPrivateNetwork> &networks);
    const QString &storeURL() const { return m_file.url(); }

    /// Appends a new enabled network without members and persists; a failed write is thrown, the network stays in memory.
    VMPrivateNetwork createNetwork(const QString &name, const QString &subnet);
    /// Adds the VM once; an unknown network throws invalidOperation "Private network not found.". A VM already there writes nothing.
    void addMember(const VMBundleID &bundleID, const PrivateNetworkID &networkID);
    /// Removes every occurrence of the VM and persists; an unknown network does nothing.
    void removeMember(const VMBundleID &bundleID, const PrivateNetworkID &networkID);
    /// Writes the list without every network of that id, then publishes it; a failed write is thrown and the list stays as it was.
    void deleteNetwork(const PrivateNetworkID &networkID);
    /// Writes the whole list. Throws PlatformError.
    void persist();

    static QString defaultStoreURL();

Q_SIGNALS:
    void privateNetworksChanged(const QList<VMPrivateNetwork> &networks);

private:
    const LoggingService &m_logging;
    StoredJSONFile<VMNetworkTopologyStore> m_file;
    QList<VMPrivateNetwork> m_privateNetworks;
};
