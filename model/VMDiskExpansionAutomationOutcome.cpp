// SPDX-License-Identifier: MIT
#include "VMDiskExpansionAutomationOutcome.h"

#include <utility>

VMDiskExpansionAutomationOutcome::VMDiskExpansionAutomationOutcome(Payload payload)
    : m_payload(std::move(payload))
{
}

VMDiskExpansionAutomationOutcome VMDiskExpansionAutomationOutcome::queued(bool agentDetected)
{
    return VMDiskExpansionAutomationOutcome(Payload(std::in_place_type<Queued>, Queued{agentDetected}));
}

VMDiskExpansionAutomationOutcome VMDiskExpansionAutomationOutcome::warning(QString message)
{
    return VMDiskExpansionAutomationOutcome(Payload(std::in_place_type<QString>, std::move(message)));
}

std::optional<bool> VMDiskExpansionAutomationOutcome::agentDetected() const
{
    if (const auto *queued = std::get_if<Queued>(&m_payload))
        return queued->agentDetected;
    return std::nullopt;
}

std::optional<QString> VMDiskExpansionAutomationOutcome::warningMessage() const
{
    if (const auto *message = std::get_if<QString>(&m_payload))
        return *message;
    return std::nullopt;
}
