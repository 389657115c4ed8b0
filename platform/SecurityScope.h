// SPDX-License-Identifier: MIT
#pragma once

#include "SecurityScopedAccess.h"

#include <QString>

/**
 * Holds security-scoped access to one location for the lifetime of the
 * object: starts it on construction and, only when the start was granted,
 * stops it on destruction, whether the work in between succeeded or threw.
 * Access that is not granted is no error; the work runs all the same.
 *
 *     {
 *         const SecurityScope scope(access, bundlePath);
 *         writeBundle(bundle);
 *     }
 */
class SecurityScope
{
public:
    SecurityScope(SecurityScopedAccess &access, const QString &path);
    ~SecurityScope();
    SecurityScope(const SecurityScope &) = delete;
    SecurityScope &operator=(const SecurityScope &) = delete;

    bool isGranted() const { return m_granted; }

private:
    SecurityScopedAccess &m_access;
    QString m_path;
    bool m_granted;
};
