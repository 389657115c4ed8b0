// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <optional>
#include <variant>

/**
 * How far a running export has come, as the export service publishes it.
 * Observers switch on kind(); copying and compressing carry a fraction
 * between 0 and 1, completed the location of the result and failed a
 * sentence ready to show. finalizing exists as a step but is not published.
 * Never stored and not compared.
 */
class VMExportProgress
{
public:
    enum class Kind {
        copying,
        compressing,
        completed,
        failed,
        preparing,
        finalizing,
    };

    static VMExportProgress copying(double fractionComplete) { return {Kind::copying, fractionComplete}; }
    static VMExportProgress compressing(double fractionComplete) { return {Kind::compressing, fractionComplete}; }
    static VMExportProgress completed(const QString &location) { return {Kind::completed, location}; }
    static VMExportProgress failed(const QString &reason) { return {Kind::failed, reason}; }
    static VMExportProgress preparing() { return {Kind::preparing, std::monostate{}}; }
    static VMExportProgress finalizing() { return {Kind::finalizing, std::monostate{}}; }

    Kind kind() const { return m_kind; }
    /// The fraction of copying and compressing; absent for the other kinds.
    std::optional<double> fractionComplete() const;
    /// The result's location when completed; absent otherwise.
    std::optional<QString> location() const;
    /// Why the export failed; absent unless failed.
    std::optional<QString> failureReason() const;

private:
    using Payload = std::variant<std::monostate, double, QString>;

    VMExportProgress(Kind kind, Payload payload)
        : m_kind(kind)
        , m_payload(std::move(payload))
    {
    }

    Kind m_kind;
    Payload m_payload;
};
