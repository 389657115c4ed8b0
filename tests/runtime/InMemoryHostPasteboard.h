// SPDX-License-Identifier: MIT
#pragma once

#include "HostPasteboard.h"

/// A host clipboard in memory: every change, by us or by a "user", moves the change count.
class InMemoryHostPasteboard final : public HostPasteboard
{
public:
    qint64 changeCount() const override { return m_changeCount; }
    std::optional<QString> string() const override { return m_text; }
    void clearContents() override
    {
        m_text.reset();
        ++m_changeCount;
    }
    void setString(const QString &text) override
    {
        m_text = text;
        ++m_changeCount;
    }
    /// The user copies something that is not text.
    void copyNonText()
    {
        m_text.reset();
        ++m_changeCount;
    }

private:
    qint64 m_changeCount = 7;
    std::optional<QString> m_text;
};
