// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace GuestTools {

/**
 * The user's clipboard as the agent sees it: a change count that moves
 * whenever the contents change, and plain text only (UTF-8). Other contents
 * are neither read nor written.
 */
class Pasteboard
{
public:
    virtual ~Pasteboard() = default;

    /// Moves on every change of the contents, the agent's own writes included.
    virtual std::int64_t changeCount() = 0;
    virtual void clearContents() = 0;
    /// Puts `text` on the clipboard as plain text; a failure is not reported.
    virtual void setText(const std::string &text) = 0;
    /// The plain text on the clipboard, or nothing when it holds no text.
    virtual std::optional<std::string> text() = 0;
};

} // namespace GuestTools
