// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

/**
 * What the kernel counts for one running process, read from /proc: CPU time,
 * resident memory and the bytes it read from and wrote to storage. The
 * folder read is injectable so tests can stand a tree of files in for
 * /proc. Reads never throw.
 *
 * @code
 * const auto reading = ProcessStatistics().read(pid);
 * if (reading) qDebug() << reading->cpuTicks << reading->residentBytes;
 * @endcode
 */
class ProcessStatistics
{
public:
    struct Reading {
        /// User plus system time, in clock ticks (see ticksPerSecond()).
        quint64 cpuTicks = 0;
        quint64 residentBytes = 0;
        /// Absent when the io file cannot be read (another user's process, or no I/O accounting).
        std::optional<quint64> storageReadBytes;
        std::optional<quint64> storageWriteBytes;

        bool operator==(const Reading &) const = default;
    };

    explicit ProcessStatistics(QString procRoot = QStringLiteral("/proc"));

    /// None when there is no such process, it has ended or is exiting, or its stat and status files cannot be read or understood.
    std::optional<Reading> read(qint64 pid) const;

    /// The kernel's clock ticks per second (sysconf(_SC_CLK_TCK)).
    static qint64 ticksPerSecond();

private:
    QString m_procRoot;
};
