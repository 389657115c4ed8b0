// SPDX-License-Identifier: MIT
#include "VMExportConfiguration.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

TEST(VMExportConfigurationTest, AFreshSheetExportsAnArchiveWithTheSavedStateOnly)
{
    const VMExportConfiguration fresh;
    EXPECT_FALSE(fresh.includeSnapshots);
    EXPECT_FALSE(fresh.includeRestoreImages);
    EXPECT_FALSE(fresh.includeLogs);
    EXPECT_TRUE(fresh.includeSavedState);
    EXPECT_TRUE(fresh.compressionEnabled);
    EXPECT_EQ(fresh.resolvedName(QStringLiteral("Build Agent")), QStringLiteral("Build Agent"));
}

TEST(VMExportConfigurationTest, CompressionFollowsTheFormatWhateverTheFlags)
{
    VMExportConfiguration everything;
    everything.includeSnapshots = everything.includeRestoreImages = everything.includeLogs = true;
    everything.includeSavedState = false;
    const VMExportConfiguration bundle = everything.withFormat(VMExportFormat::vmBundle);
    EXPECT_FALSE(bundle.compressionEnabled);
    EXPECT_TRUE(bundle.includeSnapshots);
    EXPECT_FALSE(bundle.includeSavedState);
    EXPECT_TRUE(bundle.withFormat(VMExportFormat::compressedArchive).compressionEnabled);
}

TEST(VMExportConfigurationTest, ResolvedName)
{
    const struct {
        const char *archiveName;
        const char *vmName;
        const char *resolved;
    } table[] = {
        {"", "Build Agent", "Build Agent"},
        {"a/b:c", "VM", "a-b-c"},
        {"", "x:/y", "x--y"},
        {" ", "VM", " "},
        {"Copy", "VM", "Copy"},
    };
    for (const auto &row : table) {
        VMExportConfiguration configuration;
        configuration.archiveName = QString::fromUtf8(row.archiveName);
        EXPECT_EQ(configuration.resolvedName(QString::fromUtf8(row.vmName)), QString::fromUtf8(row.resolved));
    }
}
