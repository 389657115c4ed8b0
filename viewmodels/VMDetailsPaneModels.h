// SPDX-License-Identifier: MIT
#pragma once

#include "CIRunnerViewModel.h"
#include "NetworkTopologyViewModel.h"
#include "PerformanceDashboardViewModel.h"
#include "VMDetailsViewModel.h"
#include "VMExportRun.h"

#include <memory>

/**
 * The view models of one VM's details pane, built together for the pane
 * that shows them: the pane's own (header, actions, overview, run actions
 * and the panels it still serves), the export run it shows a line for, and
 * one per panel that has its own. The pane takes them all; each panel
 * reports its failures through its own failed() signal, which the pane
 * wires to its banner once.
 */
struct VMDetailsPaneModels
{
    std::unique_ptr<VMDetailsViewModel> details;
    std::unique_ptr<VMExportRun> exportRun;
    std::unique_ptr<PerformanceDashboardViewModel> performance;
    std::unique_ptr<CIRunnerViewModel> ciRunner;
    std::unique_ptr<NetworkTopologyViewModel> networkTopology;
};
