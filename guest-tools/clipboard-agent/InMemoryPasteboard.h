// SPDX-License-Identifier: MIT
#pragma once

#include "clipboard-agent/Pasteboard.h"

namespace GuestTools {

/// A clipboard held in memory: for tests, and for a session with no desktop clipboard to reach.
class InMemoryPasteboard : public Pasteboard
{
public:
    std::int64_t changeCount() override { return m_changeCount; }
    void clearContents() override;
    void setText(const std::string &text) override;
    std::optional<std::string> text() override { return m_text; }

    /// Stands for the user copying something that is not text, such as an image.
    void setNonTextContents();

private:
    std::int64_t m_changeCount = 0;
    std::optional<std::string> m_text;
};

} // namespace GuestTools
