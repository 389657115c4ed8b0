// SPDX-License-Identifier: MIT
#include "ClipboardText.h"

#include <QByteArray>
#include <QStringDecoder>

namespace ClipboardText {

QString textBase64(const QString &text) { return QString::fromLatin1(text.toUtf8().toBase64()); }

QString text(const VMClipboardMessage &message)
{
    const auto decoded = QByteArray::fromBase64Encoding(message.textBase64.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return {};
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(decoded.decoded);
    if (utf8.hasError())
        return {};
    return text;
}

} // namespace ClipboardText
