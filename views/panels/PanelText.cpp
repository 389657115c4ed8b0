// SPDX-License-Identifier: MIT
#include "PanelText.h"

#include "Symbols.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>

namespace PanelText {

QFont font(const QFont &base, Size size, QFont::Weight weight)
{
    static constexpr qreal factors[] = {1.45, 1.1, 1.0, 1.0, 0.88, 0.8};
    QFont scaled = base;
    scaled.setPointSizeF(base.pointSizeF() * factors[int(size)]);
    scaled.setWeight(weight);
    return scaled;
}

QLabel *label(const QString &text, Size size, QFont::Weight weight, const QString &objectName)
{
    auto *made = new QLabel(text);
    made->setTextFormat(Qt::PlainText);
    made->setFont(font(made->font(), size, weight));
    if (!objectName.isEmpty())
        made->setObjectName(objectName);
    return made;
}

void tint(QLabel *label, const QColor &color)
{
    QPalette colors = label->palette();
    colors.setColor(QPalette::WindowText, color);
    label->setPalette(colors);
}

QLabel *symbol(const QString &name, const QColor &color, int size)
{
    auto *made = new QLabel;
    made->setPixmap(Symbols::tinted(name, color, size));
    made->setFixedSize(size, size);
    made->setProperty("symbol", name);
    return made;
}

QWidget *symbolText(const QString &symbolName, const QString &text, const QColor &color, Size size, const QString &objectName)
{
    auto *line = new QWidget;
    auto *row = new QHBoxLayout(line);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    QLabel *words = label(text, size, QFont::Normal, objectName);
    tint(words, color);
    row->addWidget(symbol(symbolName, color, QFontMetrics(words->font()).height() - 2));
    row->addWidget(words);
    return line;
}

} // namespace PanelText
