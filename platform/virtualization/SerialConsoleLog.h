// SPDX-License-Identifier: MIT
#pragma once

#include "FileDescriptor.h"

#include <QString>

#include <thread>

/**
 * Carries what a guest prints on its console port into a capped log. QEMU
 * writes the console into a named pipe that this object makes and reads; a
 * thread of its own appends what arrives to a CappedLogFile, so a guest that
 * prints without end fills neither the disk nor memory, and a busy GUI
 * thread never holds QEMU up. The pipe is read until QEMU closes it or the
 * object goes; what is still in it then is written out first.
 *
 * @code
 * SerialConsoleLog console(directory.serialLogPipePath(), layout.logsDirectoryURL() + "/console.log");
 * // ... QEMU runs with logfile=<the pipe> on its console chardev ...
 * @endcode
 */
class SerialConsoleLog
{
public:
    /// The most console.log holds before it is moved aside to console.log.1.
    static constexpr qint64 defaultLimit = 8 * 1024 * 1024;

    /**
     * Makes the pipe at `pipePath` (which must not exist) and starts reading
     * it into `logPath`. Throws PlatformError when the pipe cannot be made.
     */
    SerialConsoleLog(const QString &pipePath, QString logPath, qint64 limit = defaultLimit);
    /// Writes out what is still in the pipe, then stops reading and removes the pipe.
    ~SerialConsoleLog();
    SerialConsoleLog(const SerialConsoleLog &) = delete;
    SerialConsoleLog &operator=(const SerialConsoleLog &) = delete;

    const QString &pipePath() const { return m_pipePath; }

private:
    QString m_pipePath;
    FileDescriptor m_pipe;
    FileDescriptor m_stopRead;
    FileDescriptor m_stopWrite;
    std::thread m_reader;
};
