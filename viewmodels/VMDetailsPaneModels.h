// SPDX-License-Identifier: MIT
#pragma once

#include "CIRunnerViewModel.h"
#include "DiskAnalyticsViewModel.h"
#include "FileDropTransferViewModel.h"
#include "MacOSUpdateViewModel.h"
#include "NetworkTopologyViewModel.h"
#include "PerformanceDashboardViewModel.h"
#include "SnapshotTimelineViewModel.h"
#include "VMDetailsViewModel.h"
#include "VMExportRun.h"

#include <memory>

/**
 * The view models of one VM's details pane, built together for the pane
 * that shows them: the pane's own (header, actions, overview, banner and
 * run actions), the export run it shows a line for, and one per feature
 * panel. The pane takes them all; each panel reports its failures through
 * its own failed() signal, which the pane wires to its banner once. The
 * panels' view models refer to the pane's, and the disk and update panels'
 * to the timeline's: whoever keeps them destroys those first.
 */
struct VMDetailsPaneModels {
    std::unique_ptr<VMDetailsViewModel> details;
    std::unique_ptr<VMExportRun> exportRun;
    std::unique_ptr<SnapshotTimelineViewModel> snapshotTimeline;
    std::unique_ptr<PerformanceDashboardViewModel> performance;
    std::unique_ptr<DiskAnalyticsViewModel> diskAnalytics;
    std::unique_ptr<MacOSUpdateViewModel> updates;
    std::unique_ptr<FileDropTransferViewModel> fileDrop;
    std::unique_ptr<CIRunnerViewModel> ciRunner;
    std::unique_ptr<NetworkTopologyViewModel> networkTopology;
};
