// SPDX-License-Identifier: MIT
#pragma once

#include "VMBundle.h"
#include "VMDiskExpansionAutomationOutcome.h"

/// The result of growing a VM's disk: the bundle as stored afterwards, and what became of the in-guest resize.
struct VMDiskExpansionResult {
    VMBundle bundle;
    VMDiskExpansionAutomationOutcome automationOutcome;
};
