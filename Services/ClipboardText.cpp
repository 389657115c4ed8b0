// SPDX-License-Identifier: MIT
#include "ClipboardText.h"

#include <QByteArray>
#include <QStringDecoder>

#include <utility>

namespace ClipboardText {

QString textBase64(const QString &text) { return utf8Base64(text.toUtf8()); }

QString utf8Base64(const QByteArray &utf8) { return QString::fromLatin1(utf8.toBase64()); }

MeasuredText measuredUtf8(const QString &text, qint64 maximumBytes)
{
    if (text.size() > maximumBytes)
        return {std::nullopt, text.size(), false};
    QByteArray utf8 = text.toUtf8();
    const qint64 byteCount = utf8.size();
    if (byteCount > maximumBytes)
        return {std::nullopt, byteCount, true};
    return {std::move(utf8), byteCount, true};
}

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
