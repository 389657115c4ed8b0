// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/**
 * A folder only this user can enter (mode 0700), made for the sockets of one
 * running VM and removed with everything in it when the object goes. Its
 * parent is made too when missing, and must belong to this user: a parent
 * in a shared place such as /tmp could otherwise be someone else's. A folder
 * left by a run that ended without cleaning up is taken over when it is
 * ours and private. Failures throw PlatformError naming the path.
 */
class PrivateRuntimeFolder
{
public:
    explicit PrivateRuntimeFolder(QString path);
    ~PrivateRuntimeFolder();
    PrivateRuntimeFolder(const PrivateRuntimeFolder &) = delete;
    PrivateRuntimeFolder &operator=(const PrivateRuntimeFolder &) = delete;

    const QString &path() const { return m_path; }

private:
    QString m_path;
};
