// SPDX-License-Identifier: MIT
#include "HostNetworkService.h"
#include "QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

/// A fake /sys/class/net holding Ethernet, Wi-Fi and bridge interfaces by name.
class HostNetworkServiceTest : public ::testing::Test
{
protected:
    enum class Kind { ethernet, wifi, bridge };

    void add(const QString &name, Kind kind)
    {
        const QString folder = m_root.path() + QLatin1Char('/') + name;
        ASSERT_TRUE(QDir().mkpath(folder + (kind == Kind::bridge ? QStringLiteral("/bridge") : QStringLiteral("/device"))));
        if (kind == Kind::wifi) {
            ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/wireless")));
        }
    }

    QStringList labels() const
    {
        QStringList labels;
        for (const auto &option : m_service.availableInterfaces())
            labels << option.label();
        return labels;
    }

    QTemporaryDir m_root;
    HostNetworkService m_service{SysfsNetworkInterfaces(m_root.path())};
};

TEST_F(HostNetworkServiceTest, OptionsAreSortedByLabelNotByName)
{
    EXPECT_TRUE(m_service.availableInterfaces().isEmpty());

    add(QStringLiteral("aa1"), Kind::wifi);
    add(QStringLiteral("zz0"), Kind::ethernet);
    add(QStringLiteral("mm0"), Kind::bridge);
    const auto options = m_service.availableInterfaces();
    EXPECT_EQ(options, (QList<HostBridgedNetworkInterfaceOption>{
                           {QStringLiteral("mm0"), QStringLiteral("Bridge")},
                           {QStringLiteral("zz0"), QStringLiteral("Ethernet")},
                           {QStringLiteral("aa1"), QStringLiteral("Wi-Fi")},
                       }));
}

TEST_F(HostNetworkServiceTest, LabelsEqualButForLetterCaseKeepTheHostOrder)
{
    // The host lists by code point, so "ETH0" comes before "eth0"; a case-sensitive sort would swap them.
    add(QStringLiteral("eth0"), Kind::ethernet);
    add(QStringLiteral("ETH0"), Kind::ethernet);
    add(QStringLiteral("Eth1"), Kind::ethernet);
    EXPECT_EQ(labels(), (QStringList{QStringLiteral("Ethernet (ETH0)"), QStringLiteral("Ethernet (eth0)"), QStringLiteral("Ethernet (Eth1)")}));
}

TEST_F(HostNetworkServiceTest, LookupMatchesTheIdentifierExactly)
{
    add(QStringLiteral("en1"), Kind::wifi);
    EXPECT_EQ(m_service.interface(QStringLiteral("en0")), std::nullopt);

    add(QStringLiteral("en0"), Kind::ethernet);
    EXPECT_EQ(m_service.interface(QStringLiteral("en0")), (BridgedNetworkInterface{QStringLiteral("en0"), QStringLiteral("Ethernet")}));
    EXPECT_EQ(m_service.interface(QStringLiteral("EN0")), std::nullopt);
    EXPECT_EQ(m_service.interface(QStringLiteral("Ethernet")), std::nullopt);

    // Asked afresh each time: an interface that went away is not found.
    ASSERT_TRUE(QDir(m_root.path() + QStringLiteral("/en0")).removeRecursively());
    EXPECT_EQ(m_service.interface(QStringLiteral("en0")), std::nullopt);
}

} // namespace
