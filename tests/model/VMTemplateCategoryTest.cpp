// SPDX-License-Identifier: MIT
#include "VMTemplateCategory.h"

#include "QtPrinters.h"
#include "RecordTestSupport.h"

using namespace RecordTestSupport;
using Category = VMTemplateCategory;

TEST(VMTemplateCategoryTest, RawValuesNamesAndSymbols)
{
    expectRawValues<Category>({{Category::development, "development"},
                               {Category::testing, "testing"},
                               {Category::ciRunner, "ciRunner"},
                               {Category::cleanInstall, "cleanInstall"},
                               {Category::performance, "performance"},
                               {Category::custom, "custom"}});
    const struct {
        Category category;
        const char *name;
        const char *symbol;
    } table[] = {
        {Category::development, "Development", "hammer"},
        {Category::testing, "Testing", "checkmark.seal"},
        {Category::ciRunner, "CI Runner", "gearshape.2"},
        {Category::cleanInstall, "Clean Install", "sparkles"},
        {Category::performance, "Performance", "bolt"},
        {Category::custom, "Custom", "slider.horizontal.3"},
    };
    for (const auto &row : table) {
        EXPECT_EQ(displayName(row.category), QString::fromUtf8(row.name));
        EXPECT_EQ(symbolName(row.category), QString::fromUtf8(row.symbol));
    }
}
