// SPDX-License-Identifier: MIT
#include "VMExportFormat.h"

#include "QtPrinters.h"
#include "RecordTestSupport.h"

using namespace RecordTestSupport;

TEST(VMExportFormatTest, RawValuesLabelsAndDescriptions)
{
    expectRawValues<VMExportFormat>({{VMExportFormat::vmBundle, "vmBundle"}, {VMExportFormat::compressedArchive, "compressedArchive"}});
    EXPECT_EQ(fromRaw<VMExportFormat>(u"VMBundle"), std::nullopt);
    EXPECT_EQ(fromRaw<VMExportFormat>(u"vmbundle"), std::nullopt);

    EXPECT_EQ(label(VMExportFormat::vmBundle), QStringLiteral("VM Bundle (.vm)"));
    EXPECT_EQ(label(VMExportFormat::compressedArchive), QStringLiteral("Compressed Archive (.vmarchive)"));
    EXPECT_EQ(description(VMExportFormat::vmBundle), QStringLiteral("Uncompressed copy of the VM bundle. Ready to import directly."));
    EXPECT_EQ(description(VMExportFormat::compressedArchive),
              QStringLiteral("Compressed archive for sharing. Smaller size, requires extraction."));
}
