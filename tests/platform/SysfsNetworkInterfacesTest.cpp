// SPDX-License-Identifier: MIT
#include "SysfsNetworkInterfaces.h"
#include "TestFiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

void PrintTo(const BridgedNetworkInterface &interface, std::ostream *stream)
{
    *stream << interface.identifier.toStdString() << " (" << interface.localizedDisplayName.value_or(QStringLiteral("-")).toStdString() << ')';
}

namespace {

/**
 * A tree shaped like /sys/class/net: each interface is a link to its folder
 * under devices/, as the kernel lays it out, with `type`, `device`, `bridge`,
 * `wireless` and `tun_flags` where the kernel has them.
 */
class SysfsNetworkInterfacesTest : public ::testing::Test
{
protected:
    struct Interface {
        const char *name;
        const char *type; // nullptr: no type file
        bool device = false;
        bool bridge = false;
        const char *extra = nullptr; // another item in the folder, e.g. "wireless"
    };

    void add(const Interface &interface)
    {
        const QString name = QString::fromLatin1(interface.name);
        const QString folder = m_directory.path() + QStringLiteral("/devices/") + name;
        ASSERT_TRUE(QDir().mkpath(folder));
        if (interface.type)
            TestFiles::write(folder + QStringLiteral("/type"), QByteArray(interface.type) + '\n');
        if (interface.device) {
            ASSERT_TRUE(QDir().mkpath(m_directory.path() + QStringLiteral("/hardware/") + name));
            TestFiles::makeLink(m_directory.path() + QStringLiteral("/hardware/") + name, folder + QStringLiteral("/device"));
        }
        if (interface.bridge) {
            ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/bridge")));
        }
        if (interface.extra) {
            ASSERT_TRUE(QDir().mkpath(folder + QLatin1Char('/') + QString::fromLatin1(interface.extra)));
        }
        TestFiles::makeLink(folder, root() + QLatin1Char('/') + name);
    }

    QString root() const { return m_directory.path() + QStringLiteral("/net"); }

    void SetUp() override { ASSERT_TRUE(QDir().mkpath(root())); }

    QTemporaryDir m_directory;
};

TEST_F(SysfsNetworkInterfacesTest, ListsHardwareEthernetAndBridgesOnly)
{
    const Interface tree[] = {
        {"wlp2s0", "1", true, false, "phy80211"},
        {"lo", "772"},
        {"eth0", "1", true},
        {"veth3f2a", "1"},
        {"tap0", "1", false, false, "tun_flags"},
        {"tun0", "65534", false, false, "tun_flags"},
        {"wg0", "65534"},
        {"br0", "1", false, true},
        {"can0", "280", true},
        {"wlan1", "1", true, false, "wireless"},
        {"usb0", nullptr, true},
    };
    for (const Interface &interface : tree)
        add(interface);
    // The kernel keeps a plain file among the interfaces.
    TestFiles::write(root() + QStringLiteral("/bonding_masters"), "\n");

    const SysfsNetworkInterfaces host(root());
    EXPECT_EQ(host.networkInterfaces(), (QList<BridgedNetworkInterface>{
                                            {QStringLiteral("br0"), QStringLiteral("Bridge")},
                                            {QStringLiteral("eth0"), QStringLiteral("Ethernet")},
                                            {QStringLiteral("usb0"), QStringLiteral("Ethernet")},
                                            {QStringLiteral("wlan1"), QStringLiteral("Wi-Fi")},
                                            {QStringLiteral("wlp2s0"), QStringLiteral("Wi-Fi")},
                                        }));
}

TEST_F(SysfsNetworkInterfacesTest, IsReadAfreshAndAMissingTreeListsNothing)
{
    const SysfsNetworkInterfaces host(root());
    EXPECT_TRUE(host.networkInterfaces().isEmpty());
    add({"eth0", "1", true});
    EXPECT_EQ(host.networkInterfaces().size(), 1);

    EXPECT_TRUE(SysfsNetworkInterfaces(m_directory.path() + QStringLiteral("/absent")).networkInterfaces().isEmpty());
    EXPECT_EQ(SysfsNetworkInterfaces().root(), QStringLiteral("/sys/class/net"));
}

} // namespace
