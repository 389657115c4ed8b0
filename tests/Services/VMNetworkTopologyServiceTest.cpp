// SPDX-License-Identifier: MIT
#include "VMNetworkTopologyService.h"

#include "FileOperations.h"
#include "LoggingService.h"
#include "PlatformError.h"
#include "QtPrinters.h"
#include "TemporaryHome.h"
#include "TestFiles.h"
#include "VirtualMachineError.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using TestFiles::read;
using TestFiles::write;

struct timespec modificationTime(const QString &path)
{
    struct stat status {
    };
    ::stat(QFile::encodeName(path).constData(), &status);
    return status.st_mtim;
}

class VMNetworkTopologyServiceTest : public ::testing::Test
{
protected:
    QString folder() const { return m_home.path() + QStringLiteral("/stem"); }
    QString store() const { return folder() + QStringLiteral("/NetworkTopology.json"); }
    VMNetworkTopologyService reloaded() const { return VMNetworkTopologyService(m_logging, store()); }

    TemporaryHome m_home;
    LoggingService m_logging;
    VMNetworkTopologyService m_service { m_logging, store() };
};

TEST_F(VMNetworkTopologyServiceTest, NetworksAndTheirMembersAreKeptAndStored)
{
    QSignalSpy changes(&m_service, &VMNetworkTopologyService::privateNetworksChanged);
    const VMPrivateNetwork lab = m_service.createNetwork(QStringLiteral("Lab"), QStringLiteral("10.0.7.0/24"));
    const VMPrivateNetwork twin = m_service.createNetwork(QStringLiteral("Lab"), QStringLiteral("10.0.7.0/24"));
    EXPECT_NE(lab.id, twin.id);
    EXPECT_TRUE(lab.isEnabled);
    EXPECT_TRUE(lab.memberBundleIDs.isEmpty());
    EXPECT_EQ(changes.count(), 2);

    const QUuid vm = QUuid::createUuid();
    m_service.addMember(VMBundleID(vm), PrivateNetworkID(lab.id));
    m_service.addMember(VMBundleID(vm), PrivateNetworkID(twin.id));
    const auto written = modificationTime(store());
    const QByteArray before = read(store());
    m_service.addMember(VMBundleID(vm), PrivateNetworkID(lab.id)); // already there: nothing is written
    EXPECT_EQ(read(store()), before);
    EXPECT_EQ(modificationTime(store()).tv_nsec, written.tv_nsec);
    EXPECT_EQ(reloaded().privateNetworks(), m_service.privateNetworks());
    EXPECT_EQ(m_service.privateNetworks()[0].memberBundleIDs, QList { vm });
    EXPECT_EQ(m_service.privateNetworks()[1].memberBundleIDs, QList { vm });

    m_service.removeMember(VMBundleID(vm), PrivateNetworkID(lab.id));
    m_service.removeMember(VMBundleID(vm), PrivateNetworkID(QUuid::createUuid())); // unknown network: nothing happens
    EXPECT_TRUE(reloaded().privateNetworks()[0].memberBundleIDs.isEmpty());
    EXPECT_EQ(reloaded().privateNetworks()[1].memberBundleIDs, QList { vm });
    EXPECT_THROW(m_service.addMember(VMBundleID(vm), PrivateNetworkID(QUuid::createUuid())), VirtualMachineError);
    EXPECT_TRUE(read(m_home.applicationData() + QStringLiteral("/Logs/app.log")).contains("[Network] Created private network 'Lab' with subnet 10.0.7.0/24"));
}

TEST_F(VMNetworkTopologyServiceTest, TheFileHoldsOneSortedObjectPerNetwork)
{
    m_service.createNetwork(QStringLiteral("Solo"), QStringLiteral("anything"));
    const QString text = QString::fromUtf8(read(store()));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\{\\s*\"privateNetworks\"\\s*:\\s*\\[\\s*\\{\\s*\"createdAt\"")).match(text).hasMatch())
        << text.toStdString();
    const QStringList keys { QStringLiteral("\"createdAt\""), QStringLiteral("\"id\""), QStringLiteral("\"isEnabled\""),
        QStringLiteral("\"memberBundleIDs\""), QStringLiteral("\"name\""), QStringLiteral("\"subnet\"") };
    for (qsizetype index = 1; index < keys.size(); ++index)
        EXPECT_LT(text.indexOf(keys[index - 1]), text.indexOf(keys[index])) << keys[index].toStdString();
}

TEST_F(VMNetworkTopologyServiceTest, AnUndecodableFileLoadsAsEmptyAndIsMovedAsideBeforeTheNextWrite)
{
    write(store(), "{\"privateNetworks\": [{\"id\": 3}]}");
    VMNetworkTopologyService service(m_logging, store());
    EXPECT_TRUE(service.privateNetworks().isEmpty());
    service.createNetwork(QStringLiteral("New"), QStringLiteral("10.1.0.0/16"));

    QStringList entries = FileOperations::folderEntries(folder());
    entries.removeOne(QStringLiteral("NetworkTopology.json"));
    ASSERT_EQ(entries.size(), 1);
    EXPECT_TRUE(entries[0].startsWith(QStringLiteral("NetworkTopology.json.unreadable-")));
    EXPECT_EQ(read(folder() + QLatin1Char('/') + entries[0]), "{\"privateNetworks\": [{\"id\": 3}]}");
    EXPECT_EQ(reloaded().privateNetworks().size(), 1);
}

TEST_F(VMNetworkTopologyServiceTest, AFailedWriteIsThrownAndTheChangeStaysInMemory)
{
    write(folder(), "a file where the folder should be");
    EXPECT_THROW(m_service.createNetwork(QStringLiteral("Lost"), QStringLiteral("10.2.0.0/16")), PlatformError);
    ASSERT_EQ(m_service.privateNetworks().size(), 1);
    EXPECT_EQ(m_service.privateNetworks()[0].name, QStringLiteral("Lost"));
}

TEST_F(VMNetworkTopologyServiceTest, DeletingANetworkWritesFirstAndKeepsItWhenTheWriteFails)
{
    const VMPrivateNetwork lab = m_service.createNetwork(QStringLiteral("Lab"), QStringLiteral("10.0.7.0/24"));
    const VMPrivateNetwork kept = m_service.createNetwork(QStringLiteral("Kept"), QStringLiteral("10.0.8.0/24"));

    QDir(folder()).removeRecursively();
    write(folder(), "a file where the folder should be");
    QSignalSpy changes(&m_service, &VMNetworkTopologyService::privateNetworksChanged);
    EXPECT_THROW(m_service.deleteNetwork(PrivateNetworkID(lab.id)), PlatformError);
    EXPECT_EQ(m_service.privateNetworks(), (QList { lab, kept }));
    EXPECT_EQ(changes.count(), 0);

    QFile::remove(folder());
    m_service.deleteNetwork(PrivateNetworkID(lab.id));
    EXPECT_EQ(m_service.privateNetworks(), QList { kept });
    EXPECT_EQ(reloaded().privateNetworks(), QList { kept });
}

} // namespace
