// SPDX-License-Identifier: MIT
#pragma once

class LoggingService;

/**
 * The service of Windows guests that the application keeps beside the
 * others. Windows guests run through the QEMU engine, which does the work;
 * this class holds its collaborator and has no operations of its own.
 */
class VMWindowsService final
{
public:
    explicit VMWindowsService(const LoggingService &loggingService);

    const LoggingService &loggingService() const { return m_loggingService; }

private:
    const LoggingService &m_loggingService;
};
