// SPDX-License-Identifier: MIT
#include "ClipboardText.h"

#include <QByteArray>
#include <QStringDecoder>

#include <utility>

namespace ClipboardText {

QString textBase64(const QString &text) { return QString::fromLatin1(text.toUtf8().toBase64()); }

std::optional<QByteArray> utf8Bytes(const VMClipboardMessage &message)
{
    auto decoded = QByteArray::fromBase64Encoding(message.textBase64.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return std::move(decoded.decoded);
}

QString fromUtf8(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return {};
    return text;
}

QString text(const VMClipboardMessage &message)
{
    const std::optional<QByteArray> bytes = utf8Bytes(message);
    return bytes ? fromUtf8(*bytes) : QString();
}

} // namespace ClipboardText
