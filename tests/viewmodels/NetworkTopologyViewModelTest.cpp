// SPDX-License-Identifier: MIT
// The private-network panel's view model: refusals and failed writes are reported and logged, nothing half-stored.
#include "NetworkTopologyViewModel.h"

#include "TestFiles.h"
#include "ViewModelTestFixture.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>

namespace {

using namespace CoordinatorTesting;

class NetworkTopologyViewModelTest : public ViewModelTest
{
protected:
    /// The message of the one failure reported since the spy began; empty when none was.
    static QString onlyFailure(QSignalSpy &failures)
    {
        EXPECT_LE(failures.count(), 1);
        return failures.isEmpty() ? QString() : failures.takeFirst().first().toString();
    }

    NetworkTopologyViewModel m_model { m_networks, store(), m_logging };
};

TEST_F(NetworkTopologyViewModelTest, ASubnetThatIsNoIPv4NetworkIsRefusedAndNothingIsStored)
{
    QSignalSpy failures(&m_model, &NetworkTopologyViewModel::failed);
    m_model.createNetwork(QStringLiteral("Lab"), QStringLiteral("999.1.1.1/99"));
    EXPECT_EQ(onlyFailure(failures),
        QStringLiteral("“999” cannot be part of an IPv4 address: each of the four parts is a number from 0 to 255."));
    EXPECT_TRUE(m_networks.privateNetworks().isEmpty());
    EXPECT_TRUE(appLog().contains(QStringLiteral("[Details] “999” cannot be part of an IPv4 address")));

    QSignalSpy published(&m_model, &NetworkTopologyViewModel::privateNetworksChanged);
    m_model.createNetwork(QStringLiteral("Lab"), QStringLiteral(" 10.0.7.0/24 "));
    EXPECT_EQ(onlyFailure(failures), QString());
    ASSERT_EQ(m_model.privateNetworks().size(), 1);
    EXPECT_EQ(m_model.privateNetworks().first().subnet, QStringLiteral("10.0.7.0/24"));
    EXPECT_EQ(published.count(), 1);
}

TEST_F(NetworkTopologyViewModelTest, ChangesThatFailAreReportedAndTheNetworkStaysListed)
{
    const VMBundle bundle = installedBundle();
    QSignalSpy failures(&m_model, &NetworkTopologyViewModel::failed);
    m_model.createNetwork(QStringLiteral("Lab"), QStringLiteral("10.0.7.0/24"));
    ASSERT_EQ(onlyFailure(failures), QString());
    const PrivateNetworkID lab(m_networks.privateNetworks().first().id);
    m_model.addMember(VMBundleID(bundle.id()), lab);
    EXPECT_EQ(m_networks.privateNetworks().first().memberBundleIDs, QList { bundle.id() });

    m_model.addMember(VMBundleID(bundle.id()), PrivateNetworkID(QUuid::createUuid()));
    EXPECT_EQ(onlyFailure(failures), refused("Private network not found."));

    const QString folder = QFileInfo(m_networks.storeURL()).absolutePath();
    ASSERT_TRUE(QDir(folder).removeRecursively());
    TestFiles::write(folder, "a file where the folder should be");
    m_model.deleteNetwork(lab);
    EXPECT_FALSE(onlyFailure(failures).isEmpty()) << "the failed write is reported";
    EXPECT_EQ(m_networks.privateNetworks().size(), 1) << "and the network is still listed";
    EXPECT_TRUE(QFile::remove(folder));
}

TEST_F(NetworkTopologyViewModelTest, TheVMsThatCanJoinFollowTheLibrary)
{
    QSignalSpy available(&m_model, &NetworkTopologyViewModel::availableVMsChanged);
    const VMBundle bundle = installedBundle();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !available.isEmpty(); }, 5000));
    ASSERT_EQ(m_model.availableVMs().size(), 1);
    EXPECT_EQ(m_model.availableVMs().first().id(), bundle.id());
}

} // namespace
