// SPDX-License-Identifier: MIT
#include "VirtiofsDaemon.h"

#include "ShareTreeFolder.h"
#include "VirtualizationError.h"

#include <QCoroFuture>
#include <QCoroProcess>
#include <QCoroTimer>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QtConcurrent>

#include <algorithm>
#include <fcntl.h>

namespace {

/*
 * Runs as root of a new user and mount namespace. The paths arrive as
 * positional parameters, never inside the script text. The runtime folder may
 * itself lie under /run: the shell keeps it as its working folder before
 * /run is covered and binds it back in place afterwards, so the socket
 * appears where QEMU looks for it.
 */
constexpr auto script = R"(set -eu
runtime=$1 root=$2 socket=$3 program=$4 verify=$5 mode=$6 tree=$7
shift 7
cd "$runtime"
if [ "$mode" = single ]; then
    mount --bind "$1" "$root"
    if [ "$2" = ro ]; then mount -o remount,bind,ro "$root"; fi
else
    if [ -n "$tree" ]; then
        mount --bind "$tree" "$root"
    else
        mount -t tmpfs -o mode=0755 tmpfs "$root"
    fi
    while [ $# -ge 3 ]; do
        [ -d "$root/$1" ] || mkdir "$root/$1"
        mount --bind "$2" "$root/$1"
        if [ "$3" = ro ]; then mount -o remount,bind,ro "$root/$1"; fi
        shift 3
    done
    mount -o remount,bind,ro "$root"
fi
mount -t tmpfs -o mode=0755 tmpfs /run
mkdir -p "$runtime"
mount --rbind . "$runtime"
set -- --socket-path="$socket" --shared-dir="$root" --cache=auto --announce-submounts --migration-on-error=guest-error
if [ "$verify" = yes ]; then set -- "$@" --migration-verify-handles; fi
exec "$program" "$@"
)";

/// What virtiofsd lists under "features" in its vhost-user back-end description.
constexpr QLatin1String precopyMigrationFeature("migrate-precopy");

QStringList capabilityArguments()
{
    return {QStringLiteral("--print-capabilities")};
}

QString access(const SharedDirectory &directory)
{
    return directory.readOnly ? QStringLiteral("ro") : QStringLiteral("rw");
}

} // namespace

QStringList VirtiofsDaemon::arguments(const Launch &launch)
{
    QStringList arguments{QStringLiteral("-Urm"), QStringLiteral("sh"), QStringLiteral("-c"), QString::fromUtf8(script), QStringLiteral("sh"),
                          launch.runtimeDirectory, launch.rootPath, launch.socketPath, launch.virtiofsdProgram,
                          launch.verifyHandles ? QStringLiteral("yes") : QStringLiteral("no")};
    if (const auto *single = std::get_if<SingleDirectoryShare>(&launch.share)) {
        arguments << QStringLiteral("single") << QString() << single->directory.path << access(single->directory);
        return arguments;
    }
    arguments << QStringLiteral("multiple") << launch.treeFolder;
    for (const MultipleDirectoryShare::Entry &entry : std::get<MultipleDirectoryShare>(launch.share).entries())
        arguments << entry.name << entry.directory.path << access(entry.directory);
    return arguments;
}

QCoro::Task<> VirtiofsDaemon::start(Launch launch, std::chrono::milliseconds timeout)
{
    const QDeadlineTimer deadline(timeout);
    const QPointer<ChildProcess> process(&m_process);
    if (const auto *multiple = std::get_if<MultipleDirectoryShare>(&launch.share); multiple && !launch.treeFolder.isEmpty())
        ShareTreeFolder::prepare(launch.treeFolder, multiple->names());
    launch.verifyHandles = canVerifyHandles(launch);
    co_await m_process.start(launch.unshareProgram, arguments(launch), launch.logFile, timeout);
    // virtiofsd tells no one when it listens; its socket appearing is the sign.
    while (!QFileInfo(launch.socketPath).exists()) {
        if (!process)
            throw VirtualizationError(VirtualizationError::Code::operationCancelled, QStringLiteral("The shared-folder server was abandoned."));
        if (!process->isRunning() || deadline.hasExpired()) {
            const QString tail = process->logTail();
            throw VirtualizationError(VirtualizationError::Code::internalError,
                                      QStringLiteral("The shared-folder server did not start%1").arg(tail.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + tail));
        }
        co_await QCoro::sleepFor(std::chrono::milliseconds(20));
    }
}

bool VirtiofsDaemon::canVerifyHandles(const Launch &launch)
{
    if (const auto *single = std::get_if<SingleDirectoryShare>(&launch.share))
        return givesFileHandles(single->directory.path);
    if (launch.treeFolder.isEmpty() || !givesFileHandles(launch.treeFolder))
        return false;
    const auto &entries = std::get<MultipleDirectoryShare>(launch.share).entries();
    return std::all_of(entries.begin(), entries.end(), [](const MultipleDirectoryShare::Entry &entry) { return givesFileHandles(entry.directory.path); });
}

bool VirtiofsDaemon::givesFileHandles(const QString &path)
{
    struct Handle {
        file_handle header;
        unsigned char bytes[MAX_HANDLE_SZ];
    } handle{};
    handle.header.handle_bytes = MAX_HANDLE_SZ;
    int mountId = 0;
    return ::name_to_handle_at(AT_FDCWD, QFile::encodeName(path).constData(), &handle.header, &mountId, AT_SYMLINK_FOLLOW) == 0;
}

QCoro::Task<bool> VirtiofsDaemon::migratesState(QString program, std::chrono::milliseconds timeout)
{
    // A plain blocking probe on a worker: awaiting a QProcess with a timeout through QCoro leaves its
    // finished() connection behind, and killing the program after the timeout then resumes a task that is gone.
    co_return co_await QtConcurrent::run(&VirtiofsDaemon::probeMigration, program, timeout);
}

bool VirtiofsDaemon::probeMigration(const QString &program, std::chrono::milliseconds timeout)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, capabilityArguments(), QIODevice::ReadOnly);
    if (!process.waitForStarted(int(timeout.count())))
        return false;
    if (!process.waitForFinished(int(timeout.count()))) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 && listsPrecopyMigration(process.readAllStandardOutput());
}

bool VirtiofsDaemon::listsPrecopyMigration(const QByteArray &capabilities)
{
    const QJsonArray features = QJsonDocument::fromJson(capabilities).object().value(QStringLiteral("features")).toArray();
    return features.contains(QJsonValue(QString(precopyMigrationFeature)));
}

QString VirtiofsDaemon::lastWords(const QString &logSinceStart)
{
    // "[2026-01-01T00:00:00Z WARN  virtiofsd::limits] ...": a note written along the way, not the reason it ended.
    static const QRegularExpression routine(QStringLiteral(R"(^\[\S+\s+(?:TRACE|DEBUG|INFO|WARN)\s)"));
    const QStringList lines = logSinceStart.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const auto last = std::find_if(lines.crbegin(), lines.crend(), [](const QString &line) { return !routine.match(line).hasMatch(); });
    return last == lines.crend() ? QString() : last->trimmed();
}
