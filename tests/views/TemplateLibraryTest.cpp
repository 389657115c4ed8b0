// SPDX-License-Identifier: MIT
#include "../viewmodels/ViewModelTestFixture.h"

#include "ErrorBannerView.h"
#include "TemplateCard.h"
#include "TemplateLibraryDialog.h"
#include "TemplateLibraryViewModel.h"
#include "VMTemplateService.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

namespace {

using namespace CoordinatorTesting;

class TemplateLibraryTest : public ViewModelTest
{
protected:
    TemplateLibraryTest()
    {
        m_service.createTemplate(installedBundle(), QStringLiteral("Agent <b>& Co"), QStringLiteral("Nightly builds"), VMTemplateCategory::ciRunner);
        m_dialog = std::make_unique<TemplateLibraryDialog>(std::make_unique<TemplateLibraryViewModel>(m_service, m_logging));
        m_dialog->show();
    }

    QStringList cardNames() const
    {
        QStringList names;
        for (const TemplateCard *card : m_dialog->cards())
            names << card->shownTemplate().name;
        return names;
    }

    TemplateCard *card(const QString &name) const
    {
        for (TemplateCard *candidate : m_dialog->cards())
            if (candidate->shownTemplate().name == name)
                return candidate;
        ADD_FAILURE() << name.toStdString();
        return nullptr;
    }

    QWidget *find(const QString &name) const { return m_dialog->findChild<QWidget *>(name); }

    /// Clicks the trash button of a card and answers the confirmation with the named button.
    void deleteAnswering(const QString &cardName, const char *answer)
    {
        card(cardName)->findChild<QToolButton *>(QStringLiteral("templateCard.delete"))->click();
        auto *confirmation = m_dialog->findChild<QMessageBox *>(QStringLiteral("templates.confirmDelete"));
        ASSERT_TRUE(confirmation);
        EXPECT_EQ(confirmation->textFormat(), Qt::PlainText);
        EXPECT_TRUE(confirmation->text().contains(cardName));
        confirmation->findChild<QPushButton *>(QLatin1String(answer))->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    VMTemplateService m_service{m_logging, [] { return HostCapacity{8, 32 * gibibyte}; }};
    std::unique_ptr<TemplateLibraryDialog> m_dialog;
};

TEST_F(TemplateLibraryTest, ChipsAndSearchNarrowTheCardsOrShowTheEmptyState)
{
    struct Case {
        const char *chip;
        const char *search;
        QStringList cards;
    };
    const Case cases[] = {
        {"templates.category.all", "", {QStringLiteral("Dev Environment"), QStringLiteral("CI Runner"), QStringLiteral("Clean Install"),
                                        QStringLiteral("Performance Testing"), QStringLiteral("QA Testing"), QStringLiteral("Agent <b>& Co")}},
        {"templates.category.ciRunner", "", {QStringLiteral("CI Runner"), QStringLiteral("Agent <b>& Co")}},
        {"templates.category.ciRunner", "NIGHTLY", {QStringLiteral("Agent <b>& Co")}},
        {"templates.category.custom", "", {}},
        {"templates.category.all", "nothing like it", {}},
    };
    for (const Case &test : cases) {
        qobject_cast<QAbstractButton *>(find(QLatin1String(test.chip)))->click();
        qobject_cast<QLineEdit *>(find(QStringLiteral("templates.search")))->setText(QString::fromUtf8(test.search));
        EXPECT_EQ(cardNames(), test.cards) << test.chip << " / " << test.search;
        EXPECT_EQ(find(QStringLiteral("templates.empty"))->isVisible(), test.cards.isEmpty()) << test.chip << " / " << test.search;
        EXPECT_EQ(find(QStringLiteral("templates.grid"))->isVisible(), !test.cards.isEmpty()) << test.chip << " / " << test.search;
    }
}

TEST_F(TemplateLibraryTest, CardsShowTheirTemplateAsPlainTextWithTrashOnlyOnUserTemplates)
{
    const TemplateCard *builtIn = card(QStringLiteral("Clean Install"));
    EXPECT_TRUE(builtIn->findChild<QLabel *>(QStringLiteral("templateCard.badge")));
    EXPECT_FALSE(builtIn->findChild<QToolButton *>(QStringLiteral("templateCard.delete")));
    EXPECT_EQ(builtIn->findChild<QLabel *>(QStringLiteral("templateCard.cpu"))->text(), QStringLiteral("2 CPUs"));

    const TemplateCard *user = card(QStringLiteral("Agent <b>& Co"));
    EXPECT_FALSE(user->findChild<QLabel *>(QStringLiteral("templateCard.badge")));
    EXPECT_TRUE(user->findChild<QToolButton *>(QStringLiteral("templateCard.delete")));
    const auto *name = user->findChild<QLabel *>(QStringLiteral("templateCard.name"));
    EXPECT_EQ(name->text(), QStringLiteral("Agent <b>& Co"));
    EXPECT_EQ(name->textFormat(), Qt::PlainText);
    EXPECT_EQ(user->findChild<QLabel *>(QStringLiteral("templateCard.category"))->text(), QStringLiteral("CI Runner"));

    // A stored icon name the symbol table does not know shows the category's symbol.
    VMTemplate stranger = user->shownTemplate();
    stranger.iconSystemName = QStringLiteral("/dev/zero");
    EXPECT_EQ(TemplateCard::iconSymbol(stranger), QStringLiteral("gearshape.2"));
    EXPECT_EQ(TemplateCard::iconSymbol(user->shownTemplate()), QStringLiteral("gearshape.2"));
}

TEST_F(TemplateLibraryTest, PickingACardHandsItOnAndCloses)
{
    QList<VMTemplate> chosen;
    QObject::connect(m_dialog.get(), &TemplateLibraryDialog::templateChosen, m_dialog.get(), [&](const VMTemplate &picked) { chosen << picked; });
    QTest::mouseClick(card(QStringLiteral("QA Testing")), Qt::LeftButton);
    ASSERT_EQ(chosen.size(), 1);
    EXPECT_EQ(chosen[0].name, QStringLiteral("QA Testing"));
    EXPECT_EQ(m_dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(m_dialog->isVisible());
}

TEST_F(TemplateLibraryTest, DeletingAsksFirstAndAFailureShowsInTheBanner)
{
    QList<VMTemplate> chosen;
    QObject::connect(m_dialog.get(), &TemplateLibraryDialog::templateChosen, m_dialog.get(), [&](const VMTemplate &picked) { chosen << picked; });
    deleteAnswering(QStringLiteral("Agent <b>& Co"), "templates.confirmDelete.cancel");
    EXPECT_EQ(m_service.templates().size(), 6);
    EXPECT_TRUE(cardNames().contains(QStringLiteral("Agent <b>& Co")));

    // The service's folder turns into a file: the deletion fails, and says so.
    const QString folder = QFileInfo(m_service.libraryURL()).path();
    ASSERT_TRUE(QDir(folder).removeRecursively());
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    deleteAnswering(QStringLiteral("Agent <b>& Co"), "templates.confirmDelete.confirm");
    auto *banner = qobject_cast<ErrorBannerView *>(find(QStringLiteral("templates.banner")));
    EXPECT_TRUE(banner->isVisible());
    EXPECT_FALSE(banner->message().isEmpty());
    EXPECT_TRUE(cardNames().contains(QStringLiteral("Agent <b>& Co")));

    ASSERT_TRUE(QFile::remove(folder));
    deleteAnswering(QStringLiteral("Agent <b>& Co"), "templates.confirmDelete.confirm");
    EXPECT_TRUE(banner->isVisible()) << "the deletion says it is done";
    EXPECT_EQ(banner->message(), QStringLiteral("Deleted template “Agent <b>& Co”"));
    EXPECT_EQ(banner->kind(), MessageKind::information);
    EXPECT_FALSE(cardNames().contains(QStringLiteral("Agent <b>& Co")));
    EXPECT_EQ(m_service.templates().size(), 5);
    EXPECT_TRUE(chosen.isEmpty()) << "the trash button does not pick the card";
    EXPECT_TRUE(m_dialog->isVisible());
}

} // namespace
