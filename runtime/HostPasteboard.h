// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

/**
 * The host's general clipboard as clipboard sync sees it: plain text and a
 * change count that moves whenever the content changes (whoever changed it).
 * The application hands in the desktop's clipboard; tests an in-memory one.
 */
class HostPasteboard
{
public:
    virtual ~HostPasteboard() = default;

    virtual qint64 changeCount() const = 0;
    /// The plain text on the clipboard; none when it holds no text.
    virtual std::optional<QString> string() const = 0;
    virtual void clearContents() = 0;
    virtual void setString(const QString &text) = 0;
};
