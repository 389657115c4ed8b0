// SPDX-License-Identifier: MIT
#include "ProcessIdentity.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QSysInfo>

#include <optional>

#include <unistd.h>

namespace {

/// The files read here are a few hundred bytes.
constexpr qint64 maximumFileSize = 4096;

QByteArray readSmallFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(maximumFileSize) : QByteArray();
}

QString currentBootID()
{
    return QString::fromLatin1(readSmallFile(QStringLiteral("/proc/sys/kernel/random/boot_id")).trimmed());
}

QString currentMachineID()
{
    for (const QString &path : {QStringLiteral("/etc/machine-id"), QStringLiteral("/var/lib/dbus/machine-id")}) {
        const QString id = QString::fromLatin1(readSmallFile(path).trimmed());
        if (!id.isEmpty())
            return id;
    }
    return {};
}

struct ProcessStatus {
    char state = 0;
    quint64 startTicks = 0;
};

/// The state and start time of a running process; none when there is no such process.
std::optional<ProcessStatus> processStatus(qint64 processID)
{
    const QByteArray stat = readSmallFile(QStringLiteral("/proc/%1/stat").arg(processID));
    // The command name may hold blanks and ")", so fields are counted from the last ")": state is field 3, start time field 22.
    const qsizetype end = stat.lastIndexOf(')');
    if (end < 0)
        return std::nullopt;
    const QList<QByteArray> fields = stat.mid(end + 1).simplified().split(' ');
    if (fields.size() < 20 || fields.front().isEmpty())
        return std::nullopt;
    bool valid = false;
    const quint64 startTicks = fields.at(19).toULongLong(&valid);
    if (!valid)
        return std::nullopt;
    return ProcessStatus{fields.front().front(), startTicks};
}

} // namespace

ProcessIdentity ProcessIdentity::current()
{
    const qint64 processID = ::getpid();
    const std::optional<ProcessStatus> status = processStatus(processID);
    return {QSysInfo::machineHostName(), currentBootID(), processID, status ? status->startTicks : 0, currentMachineID()};
}

bool ProcessIdentity::isRunning() const
{
    // Machines cloned from one image may share a machine ID, and unrelated ones a host name: only both together tell this machine.
    if (hostName != QSysInfo::machineHostName() || (!machineID.isEmpty() && machineID != currentMachineID()))
        return true;
    const QString boot = currentBootID();
    if (boot.isEmpty())
        return true;
    if (bootID != boot)
        return false;
    const std::optional<ProcessStatus> status = processStatus(processID);
    return status && status->state != 'Z' && status->startTicks == startTicks;
}
