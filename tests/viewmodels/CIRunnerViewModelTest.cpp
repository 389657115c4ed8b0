// SPDX-License-Identifier: MIT
#include "CIRunnerViewModel.h"

#include "TestFiles.h"
#include "ViewModelTestFixture.h"

#include <QSignalSpy>

namespace {

using namespace CoordinatorTesting;

class CIRunnerViewModelTest : public ViewModelTest
{
protected:
    CIRunnerViewModel &panel(const QUuid &bundleID, VMCIRunnerService &ci)
    {
        m_panel = std::make_unique<CIRunnerViewModel>(ci, store(), bundleID, m_logging);
        return *m_panel;
    }
    CIRunnerViewModel &panel(const QUuid &bundleID) { return panel(bundleID, m_ciRunner); }

    QString applicationLog() const { return QString::fromUtf8(TestFiles::read(m_home.applicationData() + QStringLiteral("/Logs/app.log"))); }

    /// A runner whose store cannot be written: a file stands where its folder should be.
    std::unique_ptr<VMCIRunnerService> unwritableRunner()
    {
        TestFiles::write(m_home.path() + QStringLiteral("/blocked"), "a file");
        return std::make_unique<VMCIRunnerService>(m_logging, [](const QUuid &) { return VMRuntimeState::stopped; }, m_snapshotMaker,
                                                   m_home.path() + QStringLiteral("/blocked/CIConfigurations.json"));
    }

    std::unique_ptr<CIRunnerViewModel> m_panel;
};

TEST_F(CIRunnerViewModelTest, ANewConfigurationIsListedAtOnceStoredAndLoggedWithItsNameAsTyped)
{
    CIRunnerViewModel &model = panel(installedBundle().id());
    QSignalSpy changed(&model, &CIRunnerViewModel::changed);
    QSignalSpy failed(&model, &CIRunnerViewModel::failed);
    CIConfigurationForm form;
    form.name = QStringLiteral("  Nightly  ");
    form.timeoutSeconds = 90;
    form.snapshotBeforeRun = false;
    model.setForm(form);

    ASSERT_TRUE(model.createConfiguration());
    EXPECT_GE(changed.count(), 1);
    EXPECT_EQ(failed.count(), 0);
    ASSERT_EQ(model.configurations().size(), 1);
    const VMCIRunConfiguration &made = model.configurations().first();
    EXPECT_EQ(made.name, QStringLiteral("  Nightly  "));
    EXPECT_EQ(made.scriptContent, CIConfigurationForm::defaultScript());
    EXPECT_EQ(made.timeoutSeconds, 90);
    EXPECT_FALSE(made.snapshotBeforeRun);
    EXPECT_TRUE(made.shutdownAfterCompletion);
    EXPECT_TRUE(TestFiles::read(m_ciRunner.storeURL()).contains("Nightly"));
    EXPECT_TRUE(applicationLog().contains(QStringLiteral("Created CI configuration '  Nightly  '")));
    EXPECT_EQ(model.form(), form) << "the form keeps what was typed";

    model.deleteConfiguration(made.id);
    EXPECT_TRUE(model.configurations().isEmpty());
    EXPECT_FALSE(TestFiles::read(m_ciRunner.storeURL()).contains("Nightly"));
    EXPECT_EQ(failed.count(), 0);
}

TEST_F(CIRunnerViewModelTest, AFormWithoutANameOrWithATimeoutBelowOneSecondIsRefused)
{
    CIRunnerViewModel &model = panel(installedBundle().id());
    QSignalSpy failed(&model, &CIRunnerViewModel::failed);
    const QList<std::pair<QString, qint64>> forms{{QStringLiteral(" \t "), 3600}, {QString(), 3600}, {QStringLiteral("Build"), 0}, {QStringLiteral("Build"), -5}};
    for (const auto &[name, timeout] : forms) {
        CIConfigurationForm form;
        form.name = name;
        form.timeoutSeconds = timeout;
        model.setForm(form);
        EXPECT_FALSE(model.createConfiguration()) << name.toStdString() << ' ' << timeout;
    }
    EXPECT_EQ(failed.count(), forms.size());
    EXPECT_TRUE(model.configurations().isEmpty());
    EXPECT_TRUE(failed.last().first().toString().contains(QStringLiteral("at least 1 second")));
}

TEST_F(CIRunnerViewModelTest, AConfigurationThatCannotBeStoredIsReportedOnCreateAndDelete)
{
    const std::unique_ptr<VMCIRunnerService> runner = unwritableRunner();
    CIRunnerViewModel &model = panel(installedBundle().id(), *runner);
    QSignalSpy failed(&model, &CIRunnerViewModel::failed);
    EXPECT_TRUE(model.createConfiguration());
    ASSERT_EQ(failed.count(), 1);
    EXPECT_TRUE(failed.first().first().toString().startsWith(QStringLiteral("The CI configuration “CI Run” could not be saved permanently: ")));
    ASSERT_EQ(model.configurations().size(), 1) << "it stays listed for this session";
    EXPECT_FALSE(applicationLog().contains(QStringLiteral("Created CI configuration")));

    model.deleteConfiguration(model.configurations().first().id);
    EXPECT_TRUE(model.configurations().isEmpty());
    ASSERT_EQ(failed.count(), 2);
    EXPECT_TRUE(failed.last().first().toString().contains(QStringLiteral("could not be deleted permanently")));
}

TEST_F(CIRunnerViewModelTest, ARunThatCannotStartIsReported)
{
    const VMBundle stopped = installedBundle();
    CIRunnerViewModel &model = panel(stopped.id());
    QSignalSpy failed(&model, &CIRunnerViewModel::failed);
    ASSERT_TRUE(model.createConfiguration());
    const QUuid configuration = model.configurations().first().id;

    waitForOutcome(model.run(configuration)).get();
    ASSERT_EQ(failed.count(), 1);
    EXPECT_EQ(failed.last().first().toString(), refused("Start the VM before starting a CI run in it."));
    EXPECT_FALSE(model.activeRun());

    CIRunnerViewModel &orphan = panel(QUuid::createUuid());
    QSignalSpy orphanFailed(&orphan, &CIRunnerViewModel::failed);
    waitForOutcome(orphan.run(configuration)).get();
    ASSERT_EQ(orphanFailed.count(), 1);
    EXPECT_TRUE(orphanFailed.first().first().toString().contains(QStringLiteral("no longer in the library")));
}

TEST(CIRunnerPresentationTest, RunsAreOfferedOnlyWhenNoRunIsInProgress)
{
    EXPECT_TRUE(CIRunnerViewModel::isRunEnabled(std::nullopt));
    const QList<std::pair<VMCIRunStatus, bool>> cases{
        {VMCIRunStatus::idle, false},      {VMCIRunStatus::preparing, false}, {VMCIRunStatus::snapshotting, false},
        {VMCIRunStatus::running, false},   {VMCIRunStatus::capturing, false}, {VMCIRunStatus::restoring, false},
        {VMCIRunStatus::completed, true},  {VMCIRunStatus::failed, true},     {VMCIRunStatus::timedOut, true},
    };
    for (const auto &[status, enabled] : cases) {
        VMCIRunResult run;
        run.status = status;
        EXPECT_EQ(CIRunnerViewModel::isRunEnabled(run), enabled) << displayName(status).toStdString();
    }
}

TEST(CIRunnerPresentationTest, TheTenNewestRunsAreListedAndTimeoutsInWholeMinutes)
{
    QList<VMCIRunResult> history;
    for (int index = 0; index < 12; ++index) {
        VMCIRunResult run;
        run.exitCode = index;
        history << run;
    }
    const QList<VMCIRunResult> newest = CIRunnerViewModel::newestRuns(history);
    ASSERT_EQ(newest.size(), 10);
    EXPECT_EQ(newest.first().exitCode, 2);
    EXPECT_EQ(newest.last().exitCode, 11);
    EXPECT_EQ(CIRunnerViewModel::newestRuns(history.mid(0, 3)).size(), 3);

    EXPECT_EQ(CIRunnerViewModel::timeoutText(3600), QStringLiteral("Timeout: 60m"));
    EXPECT_EQ(CIRunnerViewModel::timeoutText(90), QStringLiteral("Timeout: 1m"));
    EXPECT_EQ(CIRunnerViewModel::timeoutText(59), QStringLiteral("Timeout: 0m"));
}

} // namespace
