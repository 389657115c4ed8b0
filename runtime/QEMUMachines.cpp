// SPDX-License-Identifier: MIT
#include "QEMUMachines.h"
