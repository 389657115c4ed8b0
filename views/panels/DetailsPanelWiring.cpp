// SPDX-License-Identifier: MIT
#include "DetailsPanelWiring.h"

#include "DiskAnalyticsViewModel.h"
#include "MacOSUpdateView.h"
#include "MacOSUpdateViewModel.h"
#include "NetworkTopologyViewModel.h"
#include "PerformanceDashboardView.h"
#include "PerformanceDashboardViewModel.h"
#include "SmartDiskAnalyticsView.h"
#include "SnapshotTimelineView.h"
#include "SnapshotTimelineViewModel.h"
#include "VMNetworkTopologyView.h"
#include "ViewCommand.h"

namespace {

/// The report of a command started from a panel: what escapes it leaves through the model's failed(), for the pane's banner.
template <typename Model> ViewCommand::FailureReport failedOf(Model &model)
{
    return [&model](const QString &message) { Q_EMIT model.failed(message); };
}

} // namespace

void DetailsPanelWiring::bind(SnapshotTimelineView &panel, SnapshotTimelineViewModel &model)
{
    auto refresh = [&panel, &model] { panel.setTimeline(model.timeline()); };
    auto refreshRunning = [&panel, &model] { panel.setOperationRunning(model.isOperationRunning()); };
    QObject::connect(&model, &SnapshotTimelineViewModel::timelineChanged, &panel, refresh);
    QObject::connect(&model, &SnapshotTimelineViewModel::isOperationRunningChanged, &panel, refreshRunning);
    refresh();
    refreshRunning();
    QObject::connect(&panel, &SnapshotTimelineView::restoreRequested, &model,
        [&model](const QUuid &id) { ViewCommand::start(model, model.restoreSnapshot(id), failedOf(model)); });
    QObject::connect(&panel, &SnapshotTimelineView::deleteRequested, &model,
        [&model](const QUuid &id) { ViewCommand::start(model, model.deleteSnapshot(id), failedOf(model)); });
    QObject::connect(&panel, &SnapshotTimelineView::createRequested, &model, [&model](const QString &name, const QString &notes) {
        ViewCommand::start(model, model.createSnapshot(name, notes), failedOf(model));
    });
    QObject::connect(&panel, &SnapshotTimelineView::renameRequested, &model, &SnapshotTimelineViewModel::renameSnapshot);
}

void DetailsPanelWiring::bind(PerformanceDashboardView &panel, PerformanceDashboardViewModel &model)
{
    auto refresh = [&panel, &model] {
        panel.setVMName(model.vmName());
        panel.setHistory(model.history());
        panel.setLastRunNote(model.lastRunNote());
    };
    QObject::connect(&model, &PerformanceDashboardViewModel::historyChanged, &panel, refresh);
    QObject::connect(&model, &PerformanceDashboardViewModel::vmNameChanged, &panel, refresh);
    QObject::connect(&model, &PerformanceDashboardViewModel::isMonitoringChanged, &panel, refresh);
    refresh();
}

void DetailsPanelWiring::bind(SmartDiskAnalyticsView &panel, DiskAnalyticsViewModel &model)
{
    auto refresh = [&panel, &model] {
        panel.setVisible(model.analytics().has_value());
        if (model.analytics())
            panel.setAnalytics(*model.analytics());
        panel.setReclaimableItems(model.recommendations());
        panel.setGrowth(model.growthHistory(), model.estimatedDaysUntilHostFull());
    };
    QObject::connect(&model, &DiskAnalyticsViewModel::analyticsChanged, &panel, refresh);
    QObject::connect(&model, &DiskAnalyticsViewModel::growthHistoryChanged, &panel, refresh);
    QObject::connect(
        &model, &DiskAnalyticsViewModel::isReclaimingChanged, &panel, [&panel, &model] { panel.setReclaiming(model.isReclaiming()); });
    refresh();
    panel.setReclaiming(model.isReclaiming());
    QObject::connect(&panel, &SmartDiskAnalyticsView::reclaimRequested, &model,
        [&model](ReclaimAction action) { ViewCommand::start(model, model.reclaim(action), failedOf(model)); });
}

void DetailsPanelWiring::bind(MacOSUpdateView &panel, MacOSUpdateViewModel &model)
{
    auto refreshVM = [&panel, &model] {
        panel.setGuestOSType(model.guestOSType());
        panel.setVMRunning(model.isVMActive());
    };
    auto refreshResult = [&panel, &model] {
        panel.setCheckFailure(model.updateCheckFailure());
        panel.setUpdateInfo(model.updateInfo());
    };
    auto refreshChecking = [&panel, &model] { panel.setChecking(model.isChecking()); };
    auto refreshRunning = [&panel, &model] { panel.setSnapshotOperationRunning(model.isSnapshotOperationRunning()); };
    QObject::connect(&model, &MacOSUpdateViewModel::vmChanged, &panel, refreshVM);
    QObject::connect(&model, &MacOSUpdateViewModel::updateInfoChanged, &panel, refreshResult);
    QObject::connect(&model, &MacOSUpdateViewModel::isCheckingChanged, &panel, refreshChecking);
    QObject::connect(&model, &MacOSUpdateViewModel::isSnapshotOperationRunningChanged, &panel, refreshRunning);
    refreshVM();
    refreshResult();
    refreshChecking();
    refreshRunning();
    QObject::connect(&panel, &MacOSUpdateView::checkRequested, &model,
        [&model] { ViewCommand::start(model, model.checkForUpdates(), failedOf(model)); });
    QObject::connect(&panel, &MacOSUpdateView::prepareRequested, &model,
        [&model](VMMacOSUpdateStrategy strategy) { ViewCommand::start(model, model.prepareUpdate(strategy), failedOf(model)); });
}

void DetailsPanelWiring::bind(VMNetworkTopologyView &panel, NetworkTopologyViewModel &model)
{
    QObject::connect(&model, &NetworkTopologyViewModel::privateNetworksChanged, &panel, &VMNetworkTopologyView::setPrivateNetworks);
    QObject::connect(&model, &NetworkTopologyViewModel::availableVMsChanged, &panel, &VMNetworkTopologyView::setAvailableVMs);
    panel.setAvailableVMs(model.availableVMs());
    panel.setPrivateNetworks(model.privateNetworks());
    QObject::connect(&panel, &VMNetworkTopologyView::createNetworkRequested, &model, &NetworkTopologyViewModel::createNetwork);
    QObject::connect(&panel, &VMNetworkTopologyView::deleteNetworkRequested, &model, &NetworkTopologyViewModel::deleteNetwork);
    QObject::connect(&panel, &VMNetworkTopologyView::addMemberRequested, &model, &NetworkTopologyViewModel::addMember);
    QObject::connect(&panel, &VMNetworkTopologyView::removeMemberRequested, &model, &NetworkTopologyViewModel::removeMember);
}
