// SPDX-License-Identifier: MIT
// The performance panel's view model: a pane watches its VM while it runs, and each pane holds its own watch.
#include "PerformanceDashboardViewModel.h"

#include "ViewModelTestFixture.h"

#include <QSignalSpy>

namespace {

using namespace CoordinatorTesting;

class PerformanceDashboardViewModelTest : public ViewModelTest
{
protected:
    /// A new pane's details and performance view models for the VM.
    PerformanceDashboardViewModel &pane(const QUuid &id)
    {
        m_performanceModel.reset();
        m_details = makeDetails(id);
        m_performanceModel = std::make_unique<PerformanceDashboardViewModel>(*m_details, m_performance);
        return *m_performanceModel;
    }

    std::unique_ptr<VMDetailsViewModel> m_details;
    std::unique_ptr<PerformanceDashboardViewModel> m_performanceModel;
};

TEST_F(PerformanceDashboardViewModelTest, APaneMonitorsItsVMWhileItRunsAndStopsWhenItGoes)
{
    const VMBundle bundle = installedBundle();
    {
        PerformanceDashboardViewModel &performance = pane(bundle.id());
        EXPECT_FALSE(m_performance.isMonitoring());
        EXPECT_EQ(performance.history().maxSamples(), 120);
        EXPECT_TRUE(performance.history().samples().isEmpty());
        EXPECT_EQ(performance.vmName(), m_details->displayTitle());
        waitForOutcome(m_details->start()).get();
        EXPECT_TRUE(m_performance.isMonitoring());
        EXPECT_TRUE(performance.isMonitoring());
        waitForOutcome(m_details->stop()).get();
        EXPECT_FALSE(m_performance.isMonitoring());
        waitForOutcome(m_details->start()).get();
    }

    // A pane made for a VM that runs already starts at once, and stops when it goes.
    pane(bundle.id());
    EXPECT_TRUE(m_performance.isMonitoring());
    m_performanceModel.reset();
    EXPECT_FALSE(m_performance.isMonitoring());
}

TEST_F(PerformanceDashboardViewModelTest, FiguresOfAVMThatIsNotRunningAreMarkedAsItsLastRun)
{
    // A monitor that measures this very process, one pass when asked.
    VMPerformanceMonitorService monitor([](const QUuid &) { return std::optional<qint64>(QCoreApplication::applicationPid()); },
                                        ProcessStatistics(), std::chrono::hours(1));
    const VMBundle bundle = installedBundle();
    m_details = makeDetails(bundle.id());
    auto performance = std::make_unique<PerformanceDashboardViewModel>(*m_details, monitor);
    EXPECT_EQ(performance->lastRunNote(), std::nullopt) << "no figures, nothing to say of them";

    waitForOutcome(m_details->start()).get();
    monitor.samplePass();
    ASSERT_EQ(performance->history().samples().size(), 1);
    EXPECT_EQ(performance->lastRunNote(), std::nullopt) << "live figures";

    QSignalSpy monitoring(performance.get(), &PerformanceDashboardViewModel::isMonitoringChanged);
    waitForOutcome(m_details->stop()).get();
    EXPECT_EQ(monitoring.count(), 1);
    EXPECT_EQ(performance->history().samples().size(), 1) << "the history stays";
    EXPECT_EQ(performance->lastRunNote(), QStringLiteral("Stopped: these figures are from the VM's last run."));

    // A pane opened later on the stopped VM says the same.
    performance = std::make_unique<PerformanceDashboardViewModel>(*m_details, monitor);
    EXPECT_EQ(performance->lastRunNote(), QStringLiteral("Stopped: these figures are from the VM's last run."));
    waitForOutcome(m_details->start()).get();
    EXPECT_EQ(performance->lastRunNote(), std::nullopt);
}

TEST_F(PerformanceDashboardViewModelTest, TheLastRunEndsWithASampleTakenWhileTheMachineRan)
{
    VMPerformanceMonitorService monitor([](const QUuid &) { return std::optional<qint64>(QCoreApplication::applicationPid()); },
                                        ProcessStatistics(), std::chrono::hours(1));
    const VMBundle bundle = installedBundle();
    m_details = makeDetails(bundle.id());
    const PerformanceDashboardViewModel performance(*m_details, monitor);
    waitForOutcome(m_details->start()).get();
    monitor.samplePass();
    ASSERT_EQ(performance.history().samples().size(), 1);

    // The sampling timer fires while the machine is on its way out.
    int passesWhileStopping = 0;
    QObject::connect(m_details.get(), &VMDetailsViewModel::bundleChanged, [&] {
        if (m_details->bundle() && m_details->bundle()->metadata.runtimeState == VMRuntimeState::stopping) {
            ++passesWhileStopping;
            monitor.samplePass();
        }
    });
    waitForOutcome(m_details->stop()).get();
    ASSERT_GT(passesWhileStopping, 0);
    EXPECT_EQ(performance.history().samples().size(), 1) << "no figure of a machine that was stopping";
}

TEST_F(PerformanceDashboardViewModelTest, TwoPanesOnOneRunningVMEachHoldItsMonitoring)
{
    const VMBundle bundle = installedBundle();
    pane(bundle.id());
    waitForOutcome(m_details->start()).get();
    const std::unique_ptr<VMDetailsViewModel> otherDetails = makeDetails(bundle.id());
    auto second = std::make_unique<PerformanceDashboardViewModel>(*otherDetails, m_performance);
    ASSERT_TRUE(m_performance.isMonitoring());

    // A pane asked twice holds once: its one release ends its part.
    second->startMonitoring();
    second.reset();
    EXPECT_TRUE(m_performance.isMonitoring()) << "the other pane still shows the graph";
    m_performanceModel.reset();
    EXPECT_FALSE(m_performance.isMonitoring());
}

} // namespace
