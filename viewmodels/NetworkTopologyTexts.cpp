// SPDX-License-Identifier: MIT
#include "NetworkTopologyTexts.h"

#include <algorithm>

QString NetworkTopologyTexts::subtitle(const VMPrivateNetwork &network)
{
    const qsizetype count = network.memberBundleIDs.size();
    return QStringLiteral("Subnet: ") + network.subnet + QStringLiteral(" \u2022 ") + QString::number(count)
        + (count == 1 ? QStringLiteral(" member") : QStringLiteral(" members"));
}

QList<VMBundle> NetworkTopologyTexts::memberRows(const VMPrivateNetwork &network, const QList<VMBundle> &vms)
{
    QList<VMBundle> rows;
    for (const QUuid &member : network.memberBundleIDs) {
        const auto found = std::find_if(vms.cbegin(), vms.cend(), [&](const VMBundle &vm) { return vm.id() == member; });
        if (found != vms.cend())
            rows.append(*found);
    }
    return rows;
}

QList<VMBundle> NetworkTopologyTexts::addCandidates(const VMPrivateNetwork &network, const QList<VMBundle> &vms)
{
    QList<VMBundle> candidates;
    for (const VMBundle &vm : vms) {
        if (!network.memberBundleIDs.contains(vm.id()))
            candidates.append(vm);
    }
    return candidates;
}

QString NetworkTopologyTexts::emptyStateMessage()
{
    return QStringLiteral("Create a private network to group your VMs under a name and a subnet. On this host the network is kept "
                          "for your records: it does not connect the VMs or assign them addresses.");
}

QString NetworkTopologyTexts::subnetExplanation()
{
    return QStringLiteral("The network is kept for your records: it groups VMs under a name and a subnet, but nothing assigns them "
                          "addresses or connects them yet.");
}
