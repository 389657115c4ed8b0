// SPDX-License-Identifier: MIT
#include "ProcessStatistics.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <unistd.h>

namespace {

/// The files below are a few hundred bytes; a cap keeps a strange file from costing more.
constexpr qint64 maximumFileSize = 64 * 1024;

std::optional<QByteArray> readSmallFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.read(maximumFileSize);
}

std::optional<quint64> number(const QByteArray &text)
{
    bool ok = false;
    const quint64 value = text.trimmed().toULongLong(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

/// utime + stime from a stat line. The command name may hold blanks and ")", so fields are counted from the last ")".
std::optional<quint64> cpuTicks(const QByteArray &stat)
{
    const qsizetype end = stat.lastIndexOf(')');
    if (end < 0)
        return std::nullopt;
    const QList<QByteArray> fields = stat.mid(end + 1).simplified().split(' ');
    // After the name: state(3) ppid ... utime is field 14, stime field 15 of the whole line, so 11 and 12 here.
    if (fields.size() < 13)
        return std::nullopt;
    // A process that has ended (zombie or dead) runs nothing any more.
    if (fields[0] == "Z" || fields[0] == "X" || fields[0] == "x")
        return std::nullopt;
    const auto user = number(fields[11]);
    const auto system = number(fields[12]);
    if (!user || !system)
        return std::nullopt;
    return *user + *system;
}

/// The value of "key:" in a status or io file, first token only.
std::optional<quint64> field(const QByteArray &text, const QByteArray &key)
{
    for (const QByteArray &line : text.split('\n')) {
        if (!line.startsWith(key + ':'))
            continue;
        const QList<QByteArray> tokens = line.mid(key.size() + 1).simplified().split(' ');
        return tokens.isEmpty() ? std::nullopt : number(tokens[0]);
    }
    return std::nullopt;
}

} // namespace

ProcessStatistics::ProcessStatistics(QString procRoot)
    : m_procRoot(std::move(procRoot))
{
}

std::optional<ProcessStatistics::Reading> ProcessStatistics::read(qint64 pid) const
{
    if (pid <= 0)
        return std::nullopt;
    const QString folder = m_procRoot + QLatin1Char('/') + QString::number(pid) + QLatin1Char('/');
    const auto stat = readSmallFile(folder + QStringLiteral("stat"));
    const auto status = readSmallFile(folder + QStringLiteral("status"));
    if (!stat || !status)
        return std::nullopt;
    const auto ticks = cpuTicks(*stat);
    const auto residentKilobytes = field(*status, "VmRSS");
    // A process that is exiting has given its memory back and has no VmRSS line: it is no longer the one that ran.
    if (!ticks || !residentKilobytes)
        return std::nullopt;

    Reading reading;
    reading.cpuTicks = *ticks;
    reading.residentBytes = *residentKilobytes * 1024;
    if (const auto io = readSmallFile(folder + QStringLiteral("io"))) {
        reading.storageReadBytes = field(*io, "read_bytes");
        reading.storageWriteBytes = field(*io, "write_bytes");
    }
    return reading;
}

qint64 ProcessStatistics::ticksPerSecond()
{
    static const qint64 ticks = [] {
        const long value = ::sysconf(_SC_CLK_TCK);
        return value > 0 ? qint64(value) : qint64(100);
    }();
    return ticks;
}
