// SPDX-License-Identifier: MIT
#include "SysfsNetworkInterfaces.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// ARPHRD_ETHER in <linux/if_arp.h>; Wi-Fi interfaces report it too.
constexpr QLatin1String ethernetLinkType("1");

/// Whether the interface speaks Ethernet. A tree without a `type` file says nothing against it.
bool isEthernet(const QString &interfaceFolder)
{
    QFile type(interfaceFolder + QStringLiteral("/type"));
    if (!type.exists())
        return true;
    if (!type.open(QIODevice::ReadOnly))
        return false;
    return QString::fromLatin1(type.read(32)).trimmed() == ethernetLinkType;
}

bool isBridge(const QString &interfaceFolder)
{
    return QFileInfo(interfaceFolder + QStringLiteral("/bridge")).isDir();
}

/// Software interfaces (loopback, veth, tun/tap, WireGuard, ...) have no `device` link to hardware.
bool isHardware(const QString &interfaceFolder)
{
    return QFileInfo::exists(interfaceFolder + QStringLiteral("/device"));
}

bool isWireless(const QString &interfaceFolder)
{
    return QFileInfo::exists(interfaceFolder + QStringLiteral("/wireless")) || QFileInfo::exists(interfaceFolder + QStringLiteral("/phy80211"));
}

} // namespace

SysfsNetworkInterfaces::SysfsNetworkInterfaces(QString root)
    : m_root(std::move(root))
{
}

QList<BridgedNetworkInterface> SysfsNetworkInterfaces::networkInterfaces() const
{
    QList<BridgedNetworkInterface> interfaces;
    // The kernel's entries are links to the device folders; QDir::Dirs follows them.
    QStringList names = QDir(m_root).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Unsorted);
    names.sort(Qt::CaseSensitive); // by code point, the same order whatever the locale
    for (const QString &name : names) {
        const QString folder = m_root + QLatin1Char('/') + name;
        if (!isEthernet(folder))
            continue;
        if (isBridge(folder))
            interfaces.append({name, QStringLiteral("Bridge")});
        else if (isHardware(folder))
            interfaces.append({name, isWireless(folder) ? QStringLiteral("Wi-Fi") : QStringLiteral("Ethernet")});
    }
    return interfaces;
}
