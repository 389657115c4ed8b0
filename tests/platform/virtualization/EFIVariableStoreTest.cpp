// SPDX-License-Identifier: MIT
#include "EFIVariableStore.h"

#include "PlatformError.h"
#include "QtPrinters.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 flashSize = qint64(64) << 20;

class EFIVariableStoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Like the firmware's template: a 64 MiB flash image whose variables sit at the start.
        QFile file(templatePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'V'));
        ASSERT_TRUE(file.resize(flashSize));
    }

    QString templatePath() const { return m_directory.path() + QStringLiteral("/VARS.fd"); }
    QString storePath() const { return m_directory.path() + QStringLiteral("/EFIVariableStore.bin"); }

    static qint64 allocatedBytes(const QString &path)
    {
        struct stat status {
        };
        return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? qint64(status.st_blocks) * 512 : -1;
    }

private:
    QTemporaryDir m_directory;
};

TEST_F(EFIVariableStoreTest, NewStoreIsASparseCopyOfTheTemplate)
{
    const EFIVariableStore store = EFIVariableStore::create(storePath(), templatePath());
    EXPECT_EQ(store.url(), storePath());
    QFile copy(storePath());
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.size(), flashSize);
    EXPECT_EQ(copy.read(4096), QByteArray(4096, 'V'));
    EXPECT_LT(allocatedBytes(storePath()), flashSize / 2);
}

TEST_F(EFIVariableStoreTest, KeepsAnExistingStoreUnlessOverwriteIsAllowed)
{
    QFile existing(storePath());
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("boot entries");
    existing.close();

    try {
        EFIVariableStore::create(storePath(), templatePath());
        ADD_FAILURE() << "an existing store was replaced";
    } catch (const PlatformError &error) {
        EXPECT_EQ(error.code(), EEXIST);
    }
    EXPECT_EQ(QFileInfo(storePath()).size(), 12);

    EFIVariableStore::create(storePath(), templatePath(), true);
    EXPECT_EQ(QFileInfo(storePath()).size(), flashSize);
}

TEST_F(EFIVariableStoreTest, MissingTemplateLeavesNoFile)
{
    for (const QString &missing : {QString(), templatePath() + QStringLiteral(".gone")}) {
        try {
            EFIVariableStore::create(storePath(), missing);
            ADD_FAILURE() << "a store was made from nothing";
        } catch (const PlatformError &error) {
            EXPECT_EQ(error.code(), ENOENT);
        }
        EXPECT_FALSE(QFile::exists(storePath()));
    }
}

} // namespace
