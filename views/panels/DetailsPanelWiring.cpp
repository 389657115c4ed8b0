// SPDX-License-Identifier: MIT
#include "DetailsPanelWiring.h"

#include "MacOSUpdateView.h"
#include "NetworkTopologyViewModel.h"
#include "PerformanceDashboardView.h"
#include "PerformanceDashboardViewModel.h"
#include "SmartDiskAnalyticsView.h"
#include "SnapshotTimelineView.h"
#include "VMDetailsViewModel.h"
#include "VMNetworkTopologyView.h"
#include "ViewCommand.h"

namespace {

/// Runs a view-model action from a panel's request while the model lives; what escapes it goes to the pane's banner.
void start(VMDetailsViewModel &model, QCoro::Task<> task)
{
    ViewCommand::start(model, std::move(task), [&model](const QString &message) { model.setErrorMessage(message); });
}

} // namespace

void DetailsPanelWiring::bind(SnapshotTimelineView &panel, VMDetailsViewModel &model)
{
    auto refresh = [&panel, &model] { panel.setTimeline(model.snapshotTimeline()); };
    auto refreshRunning = [&panel, &model] { panel.setOperationRunning(model.isSnapshotOperationRunning()); };
    QObject::connect(&model, &VMDetailsViewModel::snapshotTimelineChanged, &panel, refresh);
    QObject::connect(&model, &VMDetailsViewModel::isSnapshotOperationRunningChanged, &panel, refreshRunning);
    refresh();
    refreshRunning();
    QObject::connect(&panel, &SnapshotTimelineView::restoreRequested, &model, [&model](const QUuid &id) { start(model, model.restoreSnapshot(id)); });
    QObject::connect(&panel, &SnapshotTimelineView::deleteRequested, &model, [&model](const QUuid &id) { start(model, model.deleteSnapshot(id)); });
    QObject::connect(&panel, &SnapshotTimelineView::createRequested, &model,
                     [&model](const QString &name, const QString &notes) { start(model, model.createSnapshot(name, notes)); });
    QObject::connect(&panel, &SnapshotTimelineView::renameRequested, &model, &VMDetailsViewModel::updateSnapshot);
}

void DetailsPanelWiring::bind(PerformanceDashboardView &panel, PerformanceDashboardViewModel &model)
{
    auto refresh = [&panel, &model] {
        panel.setVMName(model.vmName());
        panel.setHistory(model.history());
    };
    QObject::connect(&model, &PerformanceDashboardViewModel::historyChanged, &panel, refresh);
    QObject::connect(&model, &PerformanceDashboardViewModel::vmNameChanged, &panel, refresh);
    refresh();
}

void DetailsPanelWiring::bind(SmartDiskAnalyticsView &panel, VMDetailsViewModel &model)
{
    auto refresh = [&panel, &model] {
        panel.setVisible(model.diskAnalytics().has_value());
        if (model.diskAnalytics())
            panel.setAnalytics(*model.diskAnalytics());
        panel.setReclaimableItems(model.diskRecommendations());
        panel.setGrowth(model.diskGrowthHistory(), model.estimatedDaysUntilHostFull());
    };
    QObject::connect(&model, &VMDetailsViewModel::diskAnalyticsChanged, &panel, refresh);
    QObject::connect(&model, &VMDetailsViewModel::diskGrowthHistoryChanged, &panel, refresh);
    QObject::connect(&model, &VMDetailsViewModel::isReclaimingChanged, &panel, [&panel, &model] { panel.setReclaiming(model.isReclaiming()); });
    refresh();
    panel.setReclaiming(model.isReclaiming());
    QObject::connect(&panel, &SmartDiskAnalyticsView::reclaimRequested, &model, [&model](ReclaimAction action) { start(model, model.reclaimDiskSpace(action)); });
}

void DetailsPanelWiring::bind(MacOSUpdateView &panel, VMDetailsViewModel &model)
{
    auto refreshBundle = [&panel, &model] {
        panel.setGuestOSType(model.bundle() ? std::optional(model.bundle()->metadata.guestOSType) : std::nullopt);
        panel.setVMRunning(model.isActive());
    };
    auto refreshResult = [&panel, &model] {
        panel.setCheckFailure(model.updateCheckFailure());
        panel.setUpdateInfo(model.updateInfo());
    };
    auto refreshChecking = [&panel, &model] { panel.setChecking(model.isCheckingForUpdates()); };
    auto refreshRunning = [&panel, &model] { panel.setSnapshotOperationRunning(model.isSnapshotOperationRunning()); };
    QObject::connect(&model, &VMDetailsViewModel::bundleChanged, &panel, refreshBundle);
    QObject::connect(&model, &VMDetailsViewModel::updateInfoChanged, &panel, refreshResult);
    QObject::connect(&model, &VMDetailsViewModel::isCheckingForUpdatesChanged, &panel, refreshChecking);
    QObject::connect(&model, &VMDetailsViewModel::isSnapshotOperationRunningChanged, &panel, refreshRunning);
    refreshBundle();
    refreshResult();
    refreshChecking();
    refreshRunning();
    QObject::connect(&panel, &MacOSUpdateView::checkRequested, &model, [&model] { start(model, model.checkForMacOSUpdates()); });
    QObject::connect(&panel, &MacOSUpdateView::prepareRequested, &model,
                     [&model](VMMacOSUpdateStrategy strategy) { start(model, model.prepareUpdate(strategy)); });
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
