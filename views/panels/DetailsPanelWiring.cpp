// SPDX-License-Identifier: MIT
#include "DetailsPanelWiring.h"

#include "MacOSUpdateView.h"
#include "PerformanceDashboardView.h"
#include "SmartDiskAnalyticsView.h"
#include "SnapshotTimelineView.h"
#include "VMDetailsViewModel.h"
#include "VMNetworkTopologyService.h"
#include "VMNetworkTopologyView.h"
#include "VMStore.h"

#include <QCoroTask>

namespace {

/// Runs a view-model action from a panel's request; the action reports its own failures.
void start(QObject &context, QCoro::Task<> task)
{
    QCoro::connect(std::move(task), &context, [] {});
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

void DetailsPanelWiring::bind(PerformanceDashboardView &panel, VMDetailsViewModel &model)
{
    auto refresh = [&panel, &model] {
        panel.setVMName(model.displayTitle());
        panel.setHistory(model.performanceHistory());
    };
    QObject::connect(&model, &VMDetailsViewModel::performanceHistoryChanged, &panel, refresh);
    QObject::connect(&model, &VMDetailsViewModel::bundleChanged, &panel, refresh);
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

void DetailsPanelWiring::bind(MacOSUpdateView &panel, VMDetailsViewModel &model, std::function<void(const QString &)> showGuidance)
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
    QObject::connect(&panel, &MacOSUpdateView::prepareRequested, &model, [&model, &panel, showGuidance = std::move(showGuidance)](VMMacOSUpdateStrategy strategy) {
        QCoro::connect(model.createPreUpdateSnapshot(strategy), &panel, [showGuidance](const std::optional<QString> &guidance) {
            if (guidance && showGuidance)
                showGuidance(*guidance);
        });
    });
}

void DetailsPanelWiring::bind(VMNetworkTopologyView &panel, VMDetailsViewModel &model, VMStore &store)
{
    VMNetworkTopologyService &topology = model.networkTopologyService();
    QObject::connect(&topology, &VMNetworkTopologyService::privateNetworksChanged, &panel, &VMNetworkTopologyView::setPrivateNetworks);
    QObject::connect(&store, &VMStore::bundlesChanged, &panel, &VMNetworkTopologyView::setAvailableVMs);
    panel.setAvailableVMs(store.bundles());
    panel.setPrivateNetworks(topology.privateNetworks());
    QObject::connect(&panel, &VMNetworkTopologyView::createNetworkRequested, &model, &VMDetailsViewModel::createPrivateNetwork);
    QObject::connect(&panel, &VMNetworkTopologyView::deleteNetworkRequested, &model, &VMDetailsViewModel::deletePrivateNetwork);
    QObject::connect(&panel, &VMNetworkTopologyView::addMemberRequested, &model, &VMDetailsViewModel::addPrivateNetworkMember);
    QObject::connect(&panel, &VMNetworkTopologyView::removeMemberRequested, &model, &VMDetailsViewModel::removePrivateNetworkMember);
}
