// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/**
 * Asks the host for access to a location the user granted earlier. Use it
 * through SecurityScope, which stops exactly the access it started.
 */
class SecurityScopedAccess
{
public:
    virtual ~SecurityScopedAccess() = default;

    /// Whether access was granted; only a granted access is stopped again.
    virtual bool startAccessing(const QString &path) = 0;
    virtual void stopAccessing(const QString &path) = 0;
};
