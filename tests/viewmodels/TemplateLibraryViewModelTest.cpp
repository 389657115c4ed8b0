// SPDX-License-Identifier: MIT
#include "TemplateLibraryViewModel.h"

#include "VMTemplateService.h"
#include "ViewModelTestFixture.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>

namespace {

using namespace CoordinatorTesting;

class TemplateLibraryViewModelTest : public ViewModelTest
{
protected:
    TemplateLibraryViewModelTest()
    {
        const VMBundle bundle = installedBundle();
        m_service.createTemplate(bundle, QStringLiteral("Kernel BUILDS"), QStringLiteral("Compiles  the tree"), VMTemplateCategory::development);
        m_service.createTemplate(bundle, QStringLiteral("Smoke"), QStringLiteral("Runs the build checks"), VMTemplateCategory::testing);
    }

    QStringList shownNames() const
    {
        QStringList names;
        for (const VMTemplate &item : m_library.filteredTemplates())
            names << item.name;
        return names;
    }

    VMTemplate named(const QString &name) const
    {
        for (const VMTemplate &item : m_service.templates())
            if (item.name == name)
                return item;
        return {};
    }

    VMTemplateService m_service{m_logging, [] { return HostCapacity{8, 32 * gibibyte}; }};
    TemplateLibraryViewModel m_library{m_service, m_logging};
};

TEST_F(TemplateLibraryViewModelTest, CategoryAndSearchCombineAndIgnoreLetterCase)
{
    struct Case {
        std::optional<VMTemplateCategory> category;
        const char *search;
        QStringList shown;
    };
    const QStringList builtIns{QStringLiteral("Dev Environment"), QStringLiteral("CI Runner"), QStringLiteral("Clean Install"),
                               QStringLiteral("Performance Testing"), QStringLiteral("QA Testing")};
    const Case cases[] = {
        {std::nullopt, "", builtIns + QStringList{QStringLiteral("Kernel BUILDS"), QStringLiteral("Smoke")}},
        {VMTemplateCategory::development, "", {QStringLiteral("Dev Environment"), QStringLiteral("Kernel BUILDS")}},
        // The name in capitals is found in lower case, and a description counts as well.
        {std::nullopt, "builds", {QStringLiteral("CI Runner"), QStringLiteral("Kernel BUILDS")}},
        {std::nullopt, "CHECKS", {QStringLiteral("Smoke")}},
        {VMTemplateCategory::testing, "build", {QStringLiteral("Smoke")}},
        {VMTemplateCategory::development, "smoke", {}},
        {VMTemplateCategory::custom, "", {}},
        // The search is not trimmed: two blanks in a row are found only where they stand.
        {std::nullopt, "  ", {QStringLiteral("Kernel BUILDS")}},
        {std::nullopt, "zz", {}},
    };
    for (const Case &test : cases) {
        m_library.setSelectedCategory(test.category);
        m_library.setSearchText(QString::fromUtf8(test.search));
        EXPECT_EQ(shownNames(), test.shown) << "search \"" << test.search << "\"";
    }
}

TEST_F(TemplateLibraryViewModelTest, DeletesUserTemplatesAndKeepsAFailureForTheBanner)
{
    const QSignalSpy changed(&m_library, &TemplateLibraryViewModel::templatesChanged);
    m_library.deleteTemplate(named(QStringLiteral("Dev Environment")).id);
    EXPECT_TRUE(named(QStringLiteral("Dev Environment")).isBuiltIn) << "built-in templates stay";
    EXPECT_EQ(changed.count(), 0);

    m_library.deleteTemplate(named(QStringLiteral("Smoke")).id);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_FALSE(m_library.templates().contains(named(QStringLiteral("Smoke"))));
    EXPECT_EQ(m_library.templates().size(), 6);
    EXPECT_EQ(m_library.errorMessage(), QStringLiteral("Deleted template “Smoke”"));
    EXPECT_EQ(m_library.messageKind(), MessageKind::information);

    // The file's folder turns into a file: the next save fails.
    const QString folder = QFileInfo(m_service.libraryURL()).path();
    ASSERT_TRUE(QDir(folder).removeRecursively());
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const VMTemplate kept = named(QStringLiteral("Kernel BUILDS"));
    m_library.deleteTemplate(kept.id);
    ASSERT_TRUE(m_library.errorMessage());
    EXPECT_FALSE(m_library.errorMessage()->isEmpty());
    EXPECT_EQ(m_library.messageKind(), MessageKind::failure);
    EXPECT_TRUE(appLog().contains(QStringLiteral("[Templates] ") + *m_library.errorMessage()));
    EXPECT_TRUE(m_library.templates().contains(kept));
}

TEST_F(TemplateLibraryViewModelTest, CountsCPUsInTheSingularOnlyForOne)
{
    EXPECT_EQ(TemplateLibraryViewModel::cpuText(0), QStringLiteral("0 CPUs"));
    EXPECT_EQ(TemplateLibraryViewModel::cpuText(1), QStringLiteral("1 CPU"));
    EXPECT_EQ(TemplateLibraryViewModel::cpuText(4), QStringLiteral("4 CPUs"));
}

} // namespace
