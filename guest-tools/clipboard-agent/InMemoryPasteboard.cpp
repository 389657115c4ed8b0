// SPDX-License-Identifier: MIT
#include "clipboard-agent/InMemoryPasteboard.h"

namespace GuestTools {

void InMemoryPasteboard::clearContents()
{
    m_text.reset();
    ++m_changeCount;
}

void InMemoryPasteboard::setText(const std::string &text)
{
    m_text = text;
    ++m_changeCount;
}

void InMemoryPasteboard::setNonTextContents()
{
    m_text.reset();
    ++m_changeCount;
}

} // namespace GuestTools
