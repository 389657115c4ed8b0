// SPDX-License-Identifier: MIT
#pragma once

#include "HostCapacity.h"

/// This host's processor count (configured cores, at least 1) and physical memory, as sysconf reports them.
HostCapacity systemHostCapacity();
