// SPDX-License-Identifier: MIT
#include "ClipboardPasteboard.h"

#include <QClipboard>
#include <QMimeData>

ClipboardPasteboard::ClipboardPasteboard(QClipboard &clipboard, QObject *parent)
    : QObject(parent)
    , m_clipboard(clipboard)
{
    connect(&m_clipboard, &QClipboard::dataChanged, this, [this] { ++m_changeCount; });
}

std::optional<QString> ClipboardPasteboard::string() const
{
    const QMimeData *data = m_clipboard.mimeData(QClipboard::Clipboard);
    if (!data || !data->hasText())
        return std::nullopt;
    return data->text();
}

void ClipboardPasteboard::clearContents()
{
    m_clipboard.clear(QClipboard::Clipboard);
}

void ClipboardPasteboard::setString(const QString &text)
{
    m_clipboard.setText(text, QClipboard::Clipboard);
}
