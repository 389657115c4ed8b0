// SPDX-License-Identifier: MIT
#include "QEMUHumanMonitor.h"

#include "FileDescriptor.h"
#include "SignalWaiter.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>

#include <fcntl.h>

namespace {

enum Outcome { connected, answered, failed };

constexpr QByteArrayView prompt = "(qemu) ";

std::chrono::milliseconds remaining(const QDeadlineTimer &deadline)
{
    return std::chrono::milliseconds(std::max<qint64>(deadline.remainingTime(), 0));
}

} // namespace

QCoro::Task<bool> QEMUHumanMonitor::send(QString socketPath, QByteArray command, std::chrono::milliseconds timeout)
{
    const QFileInfo socket(socketPath);
    const FileDescriptor folder(::open(QFile::encodeName(socket.absolutePath()).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder.isValid())
        co_return false;
    const QString shortPath = QStringLiteral("/proc/self/fd/%1/%2").arg(folder.get()).arg(socket.fileName());

    const QDeadlineTimer deadline(timeout);
    QLocalSocket monitor;
    {
        SignalWaiter waiter;
        waiter.watch(&monitor, &QLocalSocket::connected, connected);
        waiter.watch(&monitor, &QLocalSocket::errorOccurred, failed);
        monitor.connectToServer(shortPath);
        if (co_await waiter.wait(remaining(deadline)) != connected)
            co_return false;
    }

    // The greeting ends in a prompt; the prompt after it means the command was taken.
    QByteArray received;
    SignalWaiter waiter;
    waiter.watch(&monitor, &QLocalSocket::readyRead, answered, [&](const auto &...) {
        received += monitor.readAll();
        return received.count(prompt) >= 2;
    });
    waiter.watch(&monitor, &QLocalSocket::disconnected, answered);
    if (monitor.write(command + '\n') < 0)
        co_return false;
    monitor.flush();
    co_await waiter.wait(remaining(deadline));
    co_return true;
}
