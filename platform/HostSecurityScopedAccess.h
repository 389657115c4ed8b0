// SPDX-License-Identifier: MIT
#pragma once

#include "SecurityScopedAccess.h"

/**
 * This host grants file access by ownership and mode alone, with no scopes
 * to open: starting access grants nothing (false) and stopping does nothing.
 */
class HostSecurityScopedAccess final : public SecurityScopedAccess
{
public:
    bool startAccessing(const QString &path) override;
    void stopAccessing(const QString &path) override;
};
