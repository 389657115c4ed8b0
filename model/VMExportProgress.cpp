// SPDX-License-Identifier: MIT
#include "VMExportProgress.h"

std::optional<double> VMExportProgress::fractionComplete() const
{
    if (const auto *fraction = std::get_if<double>(&m_payload))
        return *fraction;
    return std::nullopt;
}

std::optional<QString> VMExportProgress::location() const
{
    if (m_kind == Kind::completed)
        return std::get<QString>(m_payload);
    return std::nullopt;
}

std::optional<QString> VMExportProgress::failureReason() const
{
    if (m_kind == Kind::failed)
        return std::get<QString>(m_payload);
    return std::nullopt;
}
