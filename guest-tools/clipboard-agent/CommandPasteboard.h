// SPDX-License-Identifier: MIT
#pragma once

#include "clipboard-agent/Pasteboard.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace GuestTools {

/// The command lines of one desktop clipboard tool; the first word of each is the program's path.
struct ClipboardCommands {
    /// Takes the new text on standard input.
    std::vector<std::string> copy;
    /// Prints the clipboard's text; fails when it holds none.
    std::vector<std::string> paste;
    /// Empties the clipboard; given empty standard input.
    std::vector<std::string> clear;
};

/**
 * The desktop clipboard of a Linux session, through wl-copy/wl-paste or
 * xclip run with ProcessRunner. The desktop keeps no change count, so this
 * one counts itself: it moves on each of its own writes, and whenever the
 * text read back differs from the text last seen. Reading the count
 * therefore reads the text. A failed read counts as "no text"; a failed
 * write changes nothing and, as any clipboard write, reports nothing.
 */
class CommandPasteboard : public Pasteboard
{
public:
    /// How long one clipboard tool may run.
    static constexpr std::chrono::seconds commandTimeout{5};

    explicit CommandPasteboard(ClipboardCommands commands);

    static ClipboardCommands wayland(const std::filesystem::path &wlCopy, const std::filesystem::path &wlPaste);
    static ClipboardCommands x11(const std::filesystem::path &xclip);
    /// wl-copy and wl-paste in a Wayland session, else xclip under X11, each found on PATH; else nothing.
    static std::optional<ClipboardCommands> forCurrentSession();

    std::int64_t changeCount() override;
    void clearContents() override;
    void setText(const std::string &text) override;
    std::optional<std::string> text() override;

private:
    std::optional<std::string> readText() const;
    /// Whether the tool ran and succeeded.
    bool run(const std::vector<std::string> &command, const std::string &input) const;
    /// Reads the clipboard and moves the count when its text changed since it was last seen.
    void refresh();

    ClipboardCommands m_commands;
    std::int64_t m_changeCount = 0;
    bool m_hasSeenContents = false;
    std::optional<std::string> m_lastSeenText;
};

} // namespace GuestTools
