// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <functional>

class MacOSUpdateView;
class PerformanceDashboardView;
class SmartDiskAnalyticsView;
class SnapshotTimelineView;
class VMDetailsViewModel;
class VMNetworkTopologyView;
class VMStore;

/**
 * Connects each feature panel of the details pane to the pane's view model:
 * the panel shows the model's published state (set now and again on every
 * change signal) and its requests start the model's actions, whose failures
 * reach the model's errorMessage. The connections live as long as the panel
 * and the model both do.
 *
 * @code
 * auto *timeline = new SnapshotTimelineView;
 * DetailsPanelWiring::bind(*timeline, model);
 * @endcode
 */
class DetailsPanelWiring
{
public:
    static void bind(SnapshotTimelineView &panel, VMDetailsViewModel &model);
    static void bind(PerformanceDashboardView &panel, VMDetailsViewModel &model);
    /// The panel is shown only while the model has disk analytics.
    static void bind(SmartDiskAnalyticsView &panel, VMDetailsViewModel &model);
    /// `showGuidance` receives the text of a prepared update (the "Update Prepared" alert).
    static void bind(MacOSUpdateView &panel, VMDetailsViewModel &model, std::function<void(const QString &)> showGuidance);
    /// The VMs that can be members come from the store's list.
    static void bind(VMNetworkTopologyView &panel, VMDetailsViewModel &model, VMStore &store);
};
