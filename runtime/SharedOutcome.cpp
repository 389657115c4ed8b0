// SPDX-License-Identifier: MIT
#include "SharedOutcome.h"

#include <QCoroSignal>

void SharedOutcome::settle(std::exception_ptr failure)
{
    if (m_settled)
        return;
    m_settled = true;
    m_failure = std::move(failure);
    Q_EMIT settled();
}

QCoro::Task<> SharedOutcome::join(std::shared_ptr<SharedOutcome> outcome)
{
    if (!outcome->m_settled)
        co_await qCoro(outcome.get(), &SharedOutcome::settled);
    if (outcome->m_failure)
        std::rethrow_exception(outcome->m_failure);
}
