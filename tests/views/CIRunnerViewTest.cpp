// SPDX-License-Identifier: MIT
#include "../viewmodels/ViewModelTestFixture.h"

#include "CIConfigurationDialog.h"
#include "CIRunnerView.h"
#include "CIRunnerViewModel.h"
#include "EventLoopWait.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>

namespace {

using namespace CoordinatorTesting;

class CIRunnerViewTest : public ViewModelTest
{
protected:
    void SetUp() override
    {
        m_view = std::make_unique<CIRunnerView>(std::make_unique<CIRunnerViewModel>(m_ciRunner, store(), m_bundle.id(), m_logging));
        m_view->resize(700, 500);
        m_view->show();
    }

    template <typename T = QWidget> T *child(const QString &name, QObject *parent = nullptr) const
    {
        return (parent ? parent : m_view.get())->findChild<T *>(name);
    }
    QList<QWidget *> rows() const { return m_view->findChildren<QWidget *>(QStringLiteral("ci.configuration")); }

    /// Opens the sheet with New Configuration.
    CIConfigurationDialog *openSheet()
    {
        child<QPushButton>(QStringLiteral("ci.newConfiguration"))->click();
        auto *sheet = m_view->findChild<CIConfigurationDialog *>();
        EXPECT_TRUE(sheet && sheet->isVisible());
        return sheet;
    }

    VMBundle m_bundle = installedBundle();
    std::unique_ptr<CIRunnerView> m_view;
};

TEST_F(CIRunnerViewTest, WithoutConfigurationsOrRunsOnlyTheEmptyStateShows)
{
    EXPECT_TRUE(child(QStringLiteral("ci.empty"))->isVisible());
    EXPECT_TRUE(rows().isEmpty());
    EXPECT_FALSE(child(QStringLiteral("ci.runHistory"))->isVisible());
    EXPECT_EQ(child(QStringLiteral("ci.activeStatus")), nullptr);
}

TEST_F(CIRunnerViewTest, TheSheetCreatesAConfigurationThatIsListedAtOnceAndKeepsWhatWasTyped)
{
    CIConfigurationDialog *sheet = openSheet();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    auto *name = child<QLineEdit>(QStringLiteral("ci.sheet.name"), sheet);
    auto *timeout = child<QSpinBox>(QStringLiteral("ci.sheet.timeout"), sheet);
    auto *create = child<QPushButton>(QStringLiteral("ci.sheet.create"), sheet);
    EXPECT_EQ(name->text(), QStringLiteral("CI Run"));
    EXPECT_EQ(timeout->value(), 3600);
    EXPECT_EQ(timeout->minimum(), 1) << "a run needs at least a second";
    EXPECT_TRUE(child<QCheckBox>(QStringLiteral("ci.sheet.snapshot"), sheet)->isChecked());
    EXPECT_TRUE(child<QCheckBox>(QStringLiteral("ci.sheet.shutdown"), sheet)->isChecked());

    name->setText(QStringLiteral(" \t "));
    EXPECT_FALSE(create->isEnabled());
    name->setText(QStringLiteral("Nightly"));
    timeout->setValue(90);
    ASSERT_TRUE(create->isEnabled());
    create->click();
    EXPECT_FALSE(sheet->isVisible());

    ASSERT_EQ(rows().size(), 1);
    EXPECT_EQ(child<QLabel>(QStringLiteral("ci.configuration.name"), rows().first())->text(), QStringLiteral("Nightly"));
    EXPECT_EQ(child<QLabel>(QStringLiteral("ci.configuration.timeout"), rows().first())->text(), QStringLiteral("Timeout: 1m"));
    EXPECT_FALSE(child(QStringLiteral("ci.empty"))->isVisible());
    EXPECT_TRUE(child<QPushButton>(QStringLiteral("ci.configuration.run"), rows().first())->isEnabled());

    QTest::qWait(0); // the closed sheet goes away
    CIConfigurationDialog *again = openSheet();
    ASSERT_TRUE(again);
    EXPECT_EQ(child<QLineEdit>(QStringLiteral("ci.sheet.name"), again)->text(), QStringLiteral("Nightly"));
    EXPECT_EQ(child<QSpinBox>(QStringLiteral("ci.sheet.timeout"), again)->value(), 90);
    child<QPushButton>(QStringLiteral("ci.sheet.cancel"), again)->click();
    EXPECT_EQ(rows().size(), 1) << "Cancel creates nothing";
}

TEST_F(CIRunnerViewTest, DeleteTakesOneClickAndARefusedRunReachesTheBanner)
{
    m_view->viewModel().createConfiguration();
    m_view->viewModel().createConfiguration();
    ASSERT_EQ(rows().size(), 2);
    QSignalSpy failed(m_view.get(), &CIRunnerView::failed);

    child<QPushButton>(QStringLiteral("ci.configuration.run"), rows().first())->click();
    ASSERT_TRUE(EventLoopWait::waitUntil([&] { return failed.count() == 1; }));
    EXPECT_EQ(failed.first().first().toString(), refused("Start the VM before starting a CI run in it."));

    child<QPushButton>(QStringLiteral("ci.configuration.delete"), rows().first())->click();
    EXPECT_EQ(rows().size(), 1);
    EXPECT_EQ(m_ciRunner.configurations().size(), 1);
}

TEST_F(CIRunnerViewTest, WhileARunIsInProgressTheHeaderShowsItAndRunWaits)
{
    CIConfigurationForm form;
    form.snapshotBeforeRun = false;
    m_view->viewModel().setForm(form);
    m_view->viewModel().createConfiguration();
    addSession(m_bundle, VMRuntimeState::running);
    waitForOutcome(m_ciRunner.startRun(m_ciRunner.configurations().first().id, m_bundle)).get();

    ASSERT_NE(child(QStringLiteral("ci.activeStatus")), nullptr);
    EXPECT_EQ(child<QLabel>(QStringLiteral("ci.activeStatus.text"))->text(), QStringLiteral("Running"));
    EXPECT_FALSE(child<QPushButton>(QStringLiteral("ci.configuration.run"), rows().first())->isEnabled());
    const QList<QWidget *> runs = m_view->findChildren<QWidget *>(QStringLiteral("ci.run"));
    ASSERT_EQ(runs.size(), 1);
    EXPECT_EQ(child<QLabel>(QStringLiteral("ci.run.status"), runs.first())->text(), QStringLiteral("Running"));
    EXPECT_EQ(child<QLabel>(QStringLiteral("ci.run.symbol"), runs.first())->property("symbol").toString(), QStringLiteral("circle.dotted"));
    EXPECT_TRUE(child(QStringLiteral("ci.runHistory"))->isVisible());
}

} // namespace
