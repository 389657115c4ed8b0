// SPDX-License-Identifier: MIT
#include "DetailsTextLabels.h"

#include <QLabel>

namespace DetailsTextLabels {

QLabel *plain(const QString &text)
{
    auto *label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

QLabel *secondary(const QString &text)
{
    QLabel *label = plain(text);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QLabel *title(const QString &text, int level)
{
    QLabel *label = plain(text);
    QFont font = label->font();
    const qreal base = font.pointSizeF() > 0 ? font.pointSizeF() : 10;
    font.setPointSizeF(base * (level <= 1 ? 1.9 : level == 2 ? 1.5 : 1.25));
    font.setWeight(QFont::DemiBold);
    label->setFont(font);
    return label;
}

QFont footnoteFont(QFont font)
{
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * 0.88);
    return font;
}

} // namespace DetailsTextLabels
