// SPDX-License-Identifier: MIT
#include "clipboard-agent/CommandPasteboard.h"

#include "core/ProcessRunner.h"

#include <unistd.h>

#include <cstdlib>
#include <string_view>
#include <utility>

namespace GuestTools {

namespace {

std::optional<std::filesystem::path> findExecutable(std::string_view name)
{
    const char *searchPath = std::getenv("PATH");
    if (!searchPath)
        return std::nullopt;
    std::string_view folders(searchPath);
    while (!folders.empty()) {
        const auto separator = folders.find(':');
        const std::string_view folder = folders.substr(0, separator);
        folders = separator == std::string_view::npos ? std::string_view() : folders.substr(separator + 1);
        if (folder.empty())
            continue;
        const std::filesystem::path candidate = std::filesystem::path(folder) / name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return std::nullopt;
}

bool isSet(const char *variable)
{
    const char *value = std::getenv(variable);
    return value && *value;
}

ProcessRunner::Options commandOptions(std::optional<std::string> input)
{
    ProcessRunner::Options options;
    options.timeout = CommandPasteboard::commandTimeout;
    options.standardInput = std::move(input);
    options.appendStandardError = false;
    return options;
}

} // namespace

CommandPasteboard::CommandPasteboard(ClipboardCommands commands)
    : m_commands(std::move(commands))
{
}

ClipboardCommands CommandPasteboard::wayland(const std::filesystem::path &wlCopy, const std::filesystem::path &wlPaste)
{
    return ClipboardCommands{
        {wlCopy.string(), "--type", "text/plain;charset=utf-8"},
        {wlPaste.string(), "--no-newline", "--type", "text"},
        {wlCopy.string(), "--clear"},
    };
}

ClipboardCommands CommandPasteboard::x11(const std::filesystem::path &xclip)
{
    return ClipboardCommands{
        {xclip.string(), "-selection", "clipboard", "-in"},
        {xclip.string(), "-selection", "clipboard", "-out", "-target", "UTF8_STRING"},
        {xclip.string(), "-selection", "clipboard", "-in"},
    };
}

std::optional<ClipboardCommands> CommandPasteboard::forCurrentSession()
{
    if (isSet("WAYLAND_DISPLAY")) {
        const auto wlCopy = findExecutable("wl-copy");
        const auto wlPaste = findExecutable("wl-paste");
        if (wlCopy && wlPaste)
            return wayland(*wlCopy, *wlPaste);
    }
    if (isSet("DISPLAY")) {
        if (const auto xclip = findExecutable("xclip"))
            return x11(*xclip);
    }
    return std::nullopt;
}

std::optional<std::string> CommandPasteboard::readText() const
{
    const auto &command = m_commands.paste;
    if (command.empty())
        return std::nullopt;
    try {
        return ProcessRunner::run(command.front(), {command.begin() + 1, command.end()}, commandOptions(std::nullopt));
    } catch (const std::exception &) {
        // Empty, holding something that is not text, or the tool is missing.
        return std::nullopt;
    }
}

bool CommandPasteboard::run(const std::vector<std::string> &command, const std::string &input) const
{
    if (command.empty())
        return false;
    try {
        ProcessRunner::run(command.front(), {command.begin() + 1, command.end()}, commandOptions(input));
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

void CommandPasteboard::refresh()
{
    auto current = readText();
    if (m_hasSeenContents && current == m_lastSeenText)
        return;
    if (m_hasSeenContents)
        ++m_changeCount;
    m_hasSeenContents = true;
    m_lastSeenText = std::move(current);
}

std::int64_t CommandPasteboard::changeCount()
{
    refresh();
    return m_changeCount;
}

void CommandPasteboard::clearContents()
{
    if (!run(m_commands.clear, {}))
        return;
    ++m_changeCount;
    m_hasSeenContents = true;
    m_lastSeenText.reset();
}

void CommandPasteboard::setText(const std::string &text)
{
    // A failed write changed nothing: counting it would make the old text look like a new copy.
    if (!run(m_commands.copy, text))
        return;
    ++m_changeCount;
    m_hasSeenContents = true;
    m_lastSeenText = text;
}

std::optional<std::string> CommandPasteboard::text()
{
    refresh();
    return m_lastSeenText;
}

} // namespace GuestTools
