// SPDX-License-Identifier: MIT
#include "TestFiles.h"
#include "MachineIdentityService.h"

#include "ExtendedAttributes.h"
#include "PlatformError.h"
#include "QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/xattr.h>

namespace {

using TestFiles::read;

class MachineIdentityServiceTest : public ::testing::Test
{
protected:
    VMBundle::Layout layout() const { return VMBundle::Layout{m_directory.path() + QStringLiteral("/Mac.vm")}; }

    bool userAttributesSupported() const
    {
        return ::setxattr(QFile::encodeName(m_directory.path()).constData(), "user.zovozu.probe", "1", 1, 0) == 0;
    }

    static bool isExcludedFromBackup(const QString &path)
    {
        return ::getxattr(QFile::encodeName(path).constData(), ExtendedAttributes::excludedFromBackupAttribute, nullptr, 0) >= 0;
    }

    QTemporaryDir m_directory;
    MachineIdentityService m_identity;
    const MacHardwareModel m_model{QByteArray("virt-7.2")};
};

} // namespace

TEST_F(MachineIdentityServiceTest, EachInstallationGetsTheSameModelAndItsOwnIdentifier)
{
    const MacMachineIdentifier first = m_identity.writeIdentity(layout(), m_model); // the bundle folder is created
    const QByteArray firstModel = read(layout().hardwareModelURL());
    EXPECT_EQ(read(layout().machineIdentifierURL()), first.dataRepresentation());
    EXPECT_EQ(MacHardwareModel::fromDataRepresentation(firstModel), m_model);

    const MacMachineIdentifier second = m_identity.writeIdentity(layout(), m_model);
    EXPECT_EQ(read(layout().hardwareModelURL()), firstModel);
    EXPECT_EQ(read(layout().machineIdentifierURL()), second.dataRepresentation());
    EXPECT_NE(first, second);
    EXPECT_EQ(MacMachineIdentifier::fromDataRepresentation(read(layout().machineIdentifierURL())), second);

    if (userAttributesSupported()) {
        EXPECT_TRUE(isExcludedFromBackup(layout().hardwareModelURL()));
        EXPECT_TRUE(isExcludedFromBackup(layout().machineIdentifierURL()));
    }
}

TEST_F(MachineIdentityServiceTest, AFailedModelWriteLeavesTheIdentifierAsItWas)
{
    const MacMachineIdentifier kept = m_identity.writeIdentity(layout(), m_model);
    ASSERT_TRUE(QFile::remove(layout().hardwareModelURL()));
    ASSERT_TRUE(QDir().mkpath(layout().hardwareModelURL() + QStringLiteral("/in-the-way")));

    EXPECT_THROW(m_identity.writeIdentity(layout(), m_model), PlatformError);
    EXPECT_EQ(read(layout().machineIdentifierURL()), kept.dataRepresentation());
}

TEST_F(MachineIdentityServiceTest, AFolderThatCannotBeMadeIsTheHostsError)
{
    QFile blocker(m_directory.path() + QStringLiteral("/Mac.vm"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    try {
        m_identity.write(MacMachineIdentifier::generate(), layout().machineIdentifierURL());
        ADD_FAILURE() << "wrote below a file";
    } catch (const PlatformError &error) {
        EXPECT_EQ(error.domain(), PlatformError::Domain::posix);
    }
}
