// SPDX-License-Identifier: MIT
#include "HostSecurityScopedAccess.h"

bool HostSecurityScopedAccess::startAccessing(const QString &) { return false; }

void HostSecurityScopedAccess::stopAccessing(const QString &) { }
