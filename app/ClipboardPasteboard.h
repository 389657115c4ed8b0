// SPDX-License-Identifier: MIT
#pragma once

#include "HostPasteboard.h"

#include <QObject>

class QClipboard;

/**
 * The desktop's clipboard (its Clipboard mode, not the selection) for
 * clipboard sync. The change count is our own, moved on every dataChanged,
 * so the text is read only once the count moved: on X11 reading another
 * program's clipboard waits for that program.
 */
class ClipboardPasteboard final : public QObject, public HostPasteboard
{
    Q_OBJECT

public:
    explicit ClipboardPasteboard(QClipboard &clipboard, QObject *parent = nullptr);

    qint64 changeCount() const override { return m_changeCount; }
    std::optional<QString> string() const override;
    void clearContents() override;
    void setString(const QString &text) override;

private:
    QClipboard &m_clipboard;
    qint64 m_changeCount = 0;
};
