// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QCoroTask>
#include <QString>

#include <chrono>

/**
 * QEMU's human monitor on a unix socket, as a Windows guest's QEMU offers
 * it: one command line is sent and the monitor's next prompt awaited. The
 * socket is reached through its folder's descriptor, so a bundle deep in the
 * file system never passes the 107-byte limit of a socket path.
 *
 * @code
 * if (!co_await QEMUHumanMonitor::send(bundleFolder + "/qemu-monitor.sock", "system_powerdown", 2s)) ...
 * @endcode
 */
namespace QEMUHumanMonitor {

/**
 * Sends `command` and waits up to `timeout` for QEMU to take it (its next
 * prompt, or the connection closing as QEMU quits). False when the monitor
 * could not be reached or the command not written; never throws.
 */
QCoro::Task<bool> send(QString socketPath, QByteArray command, std::chrono::milliseconds timeout);

} // namespace QEMUHumanMonitor
