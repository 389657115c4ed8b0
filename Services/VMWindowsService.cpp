// SPDX-License-Identifier: MIT
#include "VMWindowsService.h"

VMWindowsService::VMWindowsService(const LoggingService &loggingService)
    : m_loggingService(loggingService)
{
}
