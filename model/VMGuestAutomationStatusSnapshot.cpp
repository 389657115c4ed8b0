// SPDX-License-Identifier: MIT
#include "VMGuestAutomationStatusSnapshot.h"

const VMGuestAutomationStatusSnapshot &VMGuestAutomationStatusSnapshot::empty()
{
    static const VMGuestAutomationStatusSnapshot snapshot;
    return snapshot;
}
