// SPDX-License-Identifier: MIT
#pragma once

#include "FileDescriptor.h"

#include <QString>

/**
 * The private folder (mode 0700) in which one run of a machine keeps its
 * monitor, display, console and file-system sockets and its pid file. Unix
 * socket paths hold at most 107 bytes, so the folder is short: six random
 * characters inside the base folder, or inside /tmp/zovozu-<uid> when the
 * base is too deep. The folder is locked while the object lives and removed
 * with everything in it when it goes; folders left behind by a run that
 * ended without cleaning up (a crash) are removed when the next one is made.
 */
class QemuRuntimeDirectory
{
public:
    /// Longest path a unix socket can be bound at (sun_path less its terminating zero).
    static constexpr qsizetype maximumSocketPathLength = 107;

    /// Creates the folder; throws PlatformError when no folder can be made.
    explicit QemuRuntimeDirectory(const QString &base);
    ~QemuRuntimeDirectory();
    QemuRuntimeDirectory(const QemuRuntimeDirectory &) = delete;
    QemuRuntimeDirectory &operator=(const QemuRuntimeDirectory &) = delete;

    const QString &path() const { return m_path; }
    QString monitorSocketPath() const { return item(u"qmp.sock"); }
    QString displaySocketPath() const { return item(u"vnc.sock"); }
    QString serialSocketPath() const { return item(u"serial.sock"); }
    /// The named pipe into which QEMU writes the console's output for SerialConsoleLog.
    QString serialLogPipePath() const { return item(u"serial.log"); }
    QString pidFilePath() const { return item(u"qemu.pid"); }
    QString fileSystemSocketPath(qsizetype device) const;
    /// The empty folder on which virtiofsd builds the tree it serves, inside its own mount namespace.
    QString fileSystemRootPath(qsizetype device) const;

    /// Removes the folders in `base` whose run has ended without removing them.
    static void removeStale(const QString &base);

private:
    QString item(QStringView name) const;

    QString m_path;
    FileDescriptor m_lock;
};
