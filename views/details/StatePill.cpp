// SPDX-License-Identifier: MIT
#include "StatePill.h"

#include "LabPalette.h"
#include "Symbols.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int horizontalPadding = 12;
constexpr int verticalPadding = 6;
constexpr int iconSize = 16;
constexpr int gap = 6;

} // namespace

StatePill::StatePill(const QString &symbol, QWidget *parent)
    : QWidget(parent)
    , m_symbol(symbol)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void StatePill::setText(const QString &text)
{
    m_text = text;
    updateGeometry();
    update();
}

void StatePill::setSymbol(const QString &symbol)
{
    m_symbol = symbol;
    update();
}

QSize StatePill::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {horizontalPadding * 2 + iconSize + gap + metrics.horizontalAdvance(m_text),
        verticalPadding * 2 + std::max(iconSize, metrics.height())};
}

void StatePill::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF capsule = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = capsule.height() / 2;
    QLinearGradient fill(capsule.topLeft(), capsule.topRight());
    fill.setColorAt(0, LabPalette::highlight().resolved(palette()));
    fill.setColorAt(1, LabPalette::panelBackground().resolved(palette()));
    painter.setPen(QPen(LabPalette::withOpacity(LabPalette::accentSoft().resolved(palette()), 0.35), 1));
    painter.setBrush(fill);
    painter.drawRoundedRect(capsule, radius, radius);

    const QColor text = palette().color(QPalette::WindowText);
    const int iconTop = (height() - iconSize) / 2;
    painter.drawPixmap(QRect(horizontalPadding, iconTop, iconSize, iconSize), Symbols::tinted(m_symbol, text, iconSize));
    painter.setPen(text);
    painter.drawText(QRect(horizontalPadding + iconSize + gap, 0, width(), height()), Qt::AlignVCenter | Qt::AlignLeft, m_text);
}
