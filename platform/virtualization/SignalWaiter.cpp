// SPDX-License-Identifier: MIT
#include "SignalWaiter.h"

#include <QCoroSignal>

void SignalWaiter::watchDestruction(const QObject *object, int key)
{
    connect(object, &QObject::destroyed, this, [this, key] { settle(key); });
}

void SignalWaiter::watchFailedStart(const QProcess *process, int key)
{
    watch(process, &QProcess::errorOccurred, key, [](QProcess::ProcessError error) { return error == QProcess::FailedToStart; });
}

void SignalWaiter::settle(int key)
{
    if (m_outcome)
        return;
    m_outcome = key;
    Q_EMIT settled();
}

QCoro::Task<std::optional<int>> SignalWaiter::wait(std::chrono::milliseconds timeout)
{
    if (!m_outcome)
        co_await qCoro(this, &SignalWaiter::settled, timeout);
    co_return m_outcome;
}
