// SPDX-License-Identifier: MIT
#include "SecurityScope.h"

SecurityScope::SecurityScope(SecurityScopedAccess &access, const QString &path)
    : m_access(access)
    , m_path(path)
    , m_granted(access.startAccessing(path))
{
}

SecurityScope::~SecurityScope()
{
    if (m_granted)
        m_access.stopAccessing(m_path);
}
