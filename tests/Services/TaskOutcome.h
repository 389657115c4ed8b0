// SPDX-License-Identifier: MIT
#pragma once

// Kept for the tests that still include the helper by its former path.
#include "../support/TaskOutcome.h"
