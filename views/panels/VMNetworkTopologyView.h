// SPDX-License-Identifier: MIT
#pragma once

#include "LabPanel.h"
#include "PrivateNetworkID.h"
#include "VMBundle.h"
#include "VMBundleID.h"
#include "VMPrivateNetwork.h"

class CreateNetworkDialog;
class QLayout;
class QStackedWidget;
class QToolButton;
class QVBoxLayout;

/**
 * The "VM-to-VM Networking" panel: one card per private network with its
 * subnet, member count and members, a remove button per member, an "Add
 * VM" menu of the VMs not yet in it, and a delete button; "New Network"
 * opens the creation sheet. The owner passes the networks and the library's
 * VMs and carries out the four requests, whose identifiers are typed so a
 * VM and a network cannot be swapped. VM names are plain text (an "&" in a
 * menu entry stays an "&"). Children: "network.newNetwork",
 * "network.empty", "network.createSheet", cards "networkCard:<UUID>" with
 * "networkCard.delete", "networkCard.addVM", "memberRow:<UUID>" and its
 * "memberRow.remove".
 */
class VMNetworkTopologyView final : public LabPanel
{
    Q_OBJECT

public:
    explicit VMNetworkTopologyView(QWidget *parent = nullptr);

    void setPrivateNetworks(const QList<VMPrivateNetwork> &networks);
    void setAvailableVMs(const QList<VMBundle> &vms);

protected:
    /// Symbols are painted in the appearance's colours: they are drawn again when it changes.
    void changeEvent(QEvent *event) override;

Q_SIGNALS:
    void createNetworkRequested(const QString &name, const QString &subnet);
    void deleteNetworkRequested(const PrivateNetworkID &networkID);
    void addMemberRequested(const VMBundleID &bundleID, const PrivateNetworkID &networkID);
    void removeMemberRequested(const VMBundleID &bundleID, const PrivateNetworkID &networkID);

private:
    void rebuild();
    /// A network's card: its header, its members when it has any, and "Add VM" when a VM can join.
    QWidget *networkCard(const VMPrivateNetwork &network);
    QLayout *networkHeader(const VMPrivateNetwork &network);
    QLayout *memberList(const VMPrivateNetwork &network);
    QWidget *memberRow(const VMBundle &vm, const PrivateNetworkID &networkID);
    QToolButton *addVMButton(const QList<VMBundle> &candidates, const PrivateNetworkID &networkID);

    QList<VMPrivateNetwork> m_networks;
    QList<VMBundle> m_vms;
    QStackedWidget *m_body;
    QWidget *m_cards;
    QVBoxLayout *m_cardsLayout;
    CreateNetworkDialog *m_createSheet;
    /// Whether the symbols were last painted for a dark appearance.
    bool m_dark = false;
};
