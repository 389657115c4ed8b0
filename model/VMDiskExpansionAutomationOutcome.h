// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <optional>
#include <variant>

/**
 * What became of the in-guest resize after the host grew a VM's disk: either
 * the request was queued (and whether the guest tools had reported from the
 * VM), or it could not be, with a warning for the user. Two outcomes are
 * equal when they are the same case with equal payloads.
 *
 * @code
 * const auto outcome = VMDiskExpansionAutomationOutcome::queued(result.availability == VMGuestAutomationAvailability::installed);
 * @endcode
 */
class VMDiskExpansionAutomationOutcome
{
public:
    enum class Kind {
        queued,
        warning,
    };

    static VMDiskExpansionAutomationOutcome queued(bool agentDetected);
    static VMDiskExpansionAutomationOutcome warning(QString message);

    Kind kind() const { return Kind(m_payload.index()); }
    /// Present only for queued: whether the guest tools had reported when the request was queued.
    std::optional<bool> agentDetected() const;
    /// Present only for warning: the text shown to the user.
    std::optional<QString> warningMessage() const;

    bool operator==(const VMDiskExpansionAutomationOutcome &) const = default;

private:
    struct Queued {
        bool agentDetected = false;
        bool operator==(const Queued &) const = default;
    };
    // Alternatives in Kind order, so that the index is the kind.
    using Payload = std::variant<Queued, QString>;

    explicit VMDiskExpansionAutomationOutcome(Payload payload);

    Payload m_payload;
};
