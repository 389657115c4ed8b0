// SPDX-License-Identifier: MIT
#include "TestFiles.h"
#include "AuxiliaryStorageService.h"

#include "ExtendedAttributes.h"
#include "FileMeasurements.h"
#include "PlatformError.h"
#include "QtPrinters.h"
#include "VirtualMachineError.h"
#include "VirtualMachineErrorExpectation.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/xattr.h>

namespace {

using TestFiles::read;

constexpr qint64 storeSize = 8 * 1024 * 1024;

class AuxiliaryStorageServiceTest : public ::testing::Test
{
protected:
    AuxiliaryStorageServiceTest()
    {
        // Like the firmware's template: a little data at the start of a large, mostly empty flash image.
        QFile file(templatePath());
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("EFI variables");
        file.resize(storeSize);
    }

    QString at(const QString &relative) const { return m_directory.path() + QLatin1Char('/') + relative; }
    QString templatePath() const { return at(QStringLiteral("AAVMF_VARS.fd")); }
    QString storage() const { return at(QStringLiteral("Mac.vm/AuxiliaryStorage")); }

    VirtualMachineError failure(const AuxiliaryStorageService &service, bool allowOverwrite) const
    {
        return thrownVirtualMachineError([&] { service.createAuxiliaryStorage(storage(), m_model, allowOverwrite); });
    }

    QTemporaryDir m_directory;
    const MacHardwareModel m_model{QByteArray("virt-7.2")};
};

} // namespace

TEST_F(AuxiliaryStorageServiceTest, TheStoreIsASparseCopyOfTheFirstTemplateFound)
{
    const AuxiliaryStorageService service({at(QStringLiteral("missing.fd")), templatePath(), at(QStringLiteral("never-reached.fd"))});
    const MacAuxiliaryStorage created = service.createAuxiliaryStorage(storage(), m_model, false); // its folder is created too

    EXPECT_EQ(created.url(), storage());
    EXPECT_EQ(read(storage()), read(templatePath()));
    EXPECT_LT(FileMeasurements::allocatedSize(storage()), quint64(storeSize) / 2);
    if (::setxattr(QFile::encodeName(m_directory.path()).constData(), "user.zovozu.probe", "1", 1, 0) == 0) {
        EXPECT_GE(::getxattr(QFile::encodeName(storage()).constData(), ExtendedAttributes::excludedFromBackupAttribute, nullptr, 0), 0);
    }
}

TEST_F(AuxiliaryStorageServiceTest, AnExistingStoreIsReplacedOnlyWhenAllowed)
{
    const AuxiliaryStorageService service({templatePath()});
    ASSERT_TRUE(QDir().mkpath(at(QStringLiteral("Mac.vm"))));
    QFile old(storage());
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old variables");
    old.close();

    const VirtualMachineError refused = failure(service, false);
    EXPECT_EQ(refused.errorCase(), VirtualMachineError::Case::auxiliaryStorageFailed);
    EXPECT_TRUE(refused.errorDescription().startsWith(QStringLiteral("Auxiliary storage setup failed: "))) << refused.what();
    EXPECT_EQ(read(storage()), QByteArray("old variables"));

    service.createAuxiliaryStorage(storage(), m_model, true);
    EXPECT_EQ(read(storage()), read(templatePath()));
}

TEST_F(AuxiliaryStorageServiceTest, WithoutTheFirmwareTemplateSetupFailsAndSaysWhereItLooked)
{
    const QString missing = at(QStringLiteral("AAVMF/AAVMF_VARS.fd"));
    const VirtualMachineError error = failure(AuxiliaryStorageService({missing}), true);
    EXPECT_EQ(error.errorCase(), VirtualMachineError::Case::auxiliaryStorageFailed);
    EXPECT_TRUE(error.detail().contains(missing)) << error.what();
    EXPECT_FALSE(QFile::exists(storage()));
}

TEST_F(AuxiliaryStorageServiceTest, AFolderThatCannotBeMadeIsTheHostsErrorUnwrapped)
{
    QFile blocker(at(QStringLiteral("Mac.vm")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_THROW(AuxiliaryStorageService({templatePath()}).createAuxiliaryStorage(storage(), m_model, true), PlatformError);
}
