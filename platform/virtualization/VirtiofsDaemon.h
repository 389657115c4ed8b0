// SPDX-License-Identifier: MIT
#pragma once

#include "ChildProcess.h"
#include "DirectorySharing.h"

#include <QCoroTask>
#include <QString>
#include <QStringList>

#include <chrono>

/**
 * The virtiofsd that serves one directory-sharing device to one QEMU. Debian's
 * virtiofsd wants root (it writes under /run/virtiofsd), so it runs inside
 * `unshare -Urm`, where it is root of its own user and mount namespaces,
 * with a private tmpfs on /run. In that namespace the share becomes one tree
 * of bind mounts: the folder itself, or a read-only tmpfs holding one
 * folder per name; folders shared read-only are remounted read-only. The
 * daemon serves only that tree and pivots into it, so the guest cannot climb
 * out of it. It must be started before QEMU connects to its socket, and it
 * ends by itself when QEMU goes.
 *
 * The daemon hands its state over when QEMU migrates (saves) the machine.
 * When a restored guest names a file the host renamed or deleted meanwhile,
 * that file gives the guest an I/O error rather than failing the whole
 * restore (--migration-on-error=guest-error). Where the served tree lasts
 * from one start to the next (a single folder, or a multiple share put
 * together in its tree folder) and its file systems give file handles, the
 * restored daemon also checks that each file is the very one the guest had
 * (--migration-verify-handles), so a file the host replaced meanwhile gives
 * the guest an I/O error as well, rather than the guest writing on into the
 * host's new file. Without handles to check, a share works as before.
 */
class VirtiofsDaemon
{
public:
    struct Launch {
        QString unshareProgram;
        QString virtiofsdProgram;
        /// The run's folder, which holds the socket and the root.
        QString runtimeDirectory;
        QString socketPath;
        /// An empty folder inside the runtime folder on which the tree is built.
        QString rootPath;
        DirectoryShare share;
        QString logFile;
        /// For a multiple share, the lasting folder on which its tree is built (ShareTreeFolder); empty: a fresh tmpfs, unchecked on restore.
        QString treeFolder = {};
        /// Whether the daemon is told to check restored files by their handles; start() decides it with canVerifyHandles().
        bool verifyHandles = false;
    };

    /// The arguments of unshare(1) for `launch`.
    static QStringList arguments(const Launch &launch);

    /**
     * Prepares the tree folder, starts the daemon and waits up to `timeout`
     * for its socket. Throws PlatformError when the tree folder cannot be
     * prepared, and VirtualizationError (internalError) with what the daemon
     * logged when it ends or makes no socket in time.
     */
    QCoro::Task<> start(Launch launch, std::chrono::milliseconds timeout = std::chrono::seconds(10));

    ChildProcess &process() { return m_process; }

    /// Whether what `launch` serves lasts between starts and every folder of it gives file handles.
    static bool canVerifyHandles(const Launch &launch);
    /// Whether the file system of `path` (a link followed) gives file handles (name_to_handle_at).
    static bool givesFileHandles(const QString &path);

    /**
     * Whether `program` says it can hand its state over in a precopy
     * migration ("migrate-precopy" among its --print-capabilities features);
     * false also when it cannot be run or does not answer within `timeout`.
     */
    static QCoro::Task<bool> migratesState(QString program, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    /// Whether the JSON answer of --print-capabilities lists "migrate-precopy".
    static bool listsPrecopyMigration(const QByteArray &capabilities);

    /**
     * What a daemon that ended said about its end, from what it logged
     * since it started: the last line that is not one of its routine
     * notes (its info, debug and warning lines, such as the open-file limit
     * it could not raise when it started); empty when it said nothing, as
     * one killed by a signal does.
     */
    static QString lastWords(const QString &logSinceStart);

private:
    /// migratesState's answer, on the thread that asks; blocks for at most twice `timeout`.
    static bool probeMigration(const QString &program, std::chrono::milliseconds timeout);

    ChildProcess m_process;
};
