// SPDX-License-Identifier: MIT
#pragma once

class DiskAnalyticsViewModel;
class MacOSUpdateView;
class MacOSUpdateViewModel;
class NetworkTopologyViewModel;
class PerformanceDashboardView;
class PerformanceDashboardViewModel;
class SmartDiskAnalyticsView;
class SnapshotTimelineView;
class SnapshotTimelineViewModel;
class VMNetworkTopologyView;

/**
 * Connects each feature panel of the details pane to its view model: the
 * panel shows the model's published state (set now and again on every
 * change signal) and its requests start the model's actions through
 * ViewCommand; failures come out of the model's failed(), which the pane
 * wires to its banner. The connections live
 * as long as the panel and the model both do.
 *
 * @code
 * auto *timeline = new SnapshotTimelineView;
 * DetailsPanelWiring::bind(*timeline, timelineModel);
 * @endcode
 */
class DetailsPanelWiring
{
public:
    static void bind(SnapshotTimelineView &panel, SnapshotTimelineViewModel &model);
    static void bind(PerformanceDashboardView &panel, PerformanceDashboardViewModel &model);
    /// The panel is shown only while the model has disk analytics.
    static void bind(SmartDiskAnalyticsView &panel, DiskAnalyticsViewModel &model);
    /// A prepared update's guidance comes out of the model's updatePrepared().
    static void bind(MacOSUpdateView &panel, MacOSUpdateViewModel &model);
    static void bind(VMNetworkTopologyView &panel, NetworkTopologyViewModel &model);
};
