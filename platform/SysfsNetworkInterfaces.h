// SPDX-License-Identifier: MIT
#pragma once

#include "BridgedNetworkInterface.h"

#include <QList>
#include <QString>
#include <QStringView>

/**
 * Lists the host's bridgeable network interfaces from the kernel's
 * /sys/class/net tree, afresh on every call. Bridgeable are the Ethernet
 * interfaces of real hardware (those with a `device` link) and bridges
 * (those with a `bridge` folder); the loopback, veth pairs, tun/tap,
 * WireGuard and other software interfaces are not. The tree's root can be
 * another folder, so tests can build a fake one.
 *
 *     const SysfsNetworkInterfaces host;
 *     for (const BridgedNetworkInterface &interface : host.networkInterfaces())
 *         qDebug() << interface.identifier;   // "br0", "eth0", "wlan0"
 */
class SysfsNetworkInterfaces
{
public:
    static constexpr QStringView defaultRoot = u"/sys/class/net";

    explicit SysfsNetworkInterfaces(QString root = defaultRoot.toString());

    /**
     * The bridgeable interfaces, sorted by name (code points). Each carries a display
     * name: "Bridge", "Wi-Fi" for a wireless one, else "Ethernet". Never
     * fails: a missing or unreadable tree lists nothing.
     */
    QList<BridgedNetworkInterface> networkInterfaces() const;

    const QString &root() const { return m_root; }

private:
    QString m_root;
};
