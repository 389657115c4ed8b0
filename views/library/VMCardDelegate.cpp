// SPDX-License-Identifier: MIT
#include "VMCardDelegate.h"

#include "BundleListModel.h"
#include "ColorTagColors.h"
#include "LabPalette.h"
#include "Symbols.h"
#include "TextStyle.h"
#include "VMDetailsTexts.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

namespace {

constexpr int outerHorizontal = 12;
constexpr int outerVertical = 5;
constexpr int padding = 14;
constexpr int radius = 20;

QRect cardShape(const QRect &rowRect)
{
    return rowRect.adjusted(outerHorizontal, outerVertical, -outerHorizontal, -outerVertical - 4);
}

/// Draws `text` elided to `width` at `origin` (its top-left); returns the width drawn.
int drawLine(QPainter &painter, const QPoint &origin, int width, const QString &text)
{
    const QFontMetrics metrics(painter.font());
    const QString shown = metrics.elidedText(text, Qt::ElideRight, width);
    painter.drawText(QRect(origin, QSize(width, metrics.height())), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
    return metrics.horizontalAdvance(shown);
}

} // namespace

VMCardDelegate::VMCardDelegate(const BundleListModel &model, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_model(model)
{
}

QString VMCardDelegate::badgeTitle(VMRuntimeState state)
{
    return displayName(state);
}

QString VMCardDelegate::badgeSymbol(VMRuntimeState state)
{
    switch (state) {
    case VMRuntimeState::stopped:
        return QStringLiteral("stop.circle");
    case VMRuntimeState::starting:
        return QStringLiteral("play.circle");
    case VMRuntimeState::running:
        return QStringLiteral("play.circle.fill");
    case VMRuntimeState::paused:
        return QStringLiteral("pause.circle.fill");
    case VMRuntimeState::saving:
        return QStringLiteral("square.and.arrow.down");
    case VMRuntimeState::restoring:
        return QStringLiteral("arrow.clockwise.circle");
    case VMRuntimeState::stopping:
        return QStringLiteral("stop.circle.fill");
    case VMRuntimeState::error:
        break;
    }
    return QStringLiteral("exclamationmark.triangle.fill");
}

QString VMCardDelegate::hardwareLine(const VMBundle &bundle)
{
    return VMDetailsTexts::hardwareSummary(bundle);
}

QString VMCardDelegate::guestLine(const VMBundle &bundle)
{
    return VMDetailsTexts::guestDescription(bundle, u" virtual machine");
}

QRect VMCardDelegate::trashRect(const QRect &cardRect)
{
    const QRect card = cardShape(cardRect);
    return QRect(card.right() - padding - 18, card.bottom() - padding - 16, 20, 20);
}

bool VMCardDelegate::showsTrash(const QStyleOptionViewItem &option)
{
    return option.state & (QStyle::State_Selected | QStyle::State_MouseOver);
}

QSize VMCardDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    const QFontMetrics headline(TextStyle::font(TextRole::headline));
    const QFontMetrics body(option.font);
    const QFontMetrics caption(TextStyle::font(TextRole::caption));
    const int content = headline.height() + 6 + body.height() + 8 + caption.height() + 8 + caption.height() + 4;
    return {260, content + 2 * padding + 2 * outerVertical + 4};
}

void VMCardDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const std::optional<VMBundle> bundle = m_model.bundle(index);
    if (!bundle)
        return;
    const bool selected = option.state & QStyle::State_Selected;

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QRectF card = cardShape(option.rect);
    paintCard(painter, card, option.palette, selected);

    const QRect inner = card.toRect().adjusted(padding, padding, -padding, -padding);
    const int x = paintColorDot(painter, bundle->metadata, inner.topLeft());
    const QRect badge = paintBadge(painter, option, bundle->metadata.runtimeState, inner);
    const int y = paintTextLines(painter, option, *bundle, QPoint(x, inner.top()), badge.left(), inner);
    paintFooter(painter, option, bundle->metadata, inner, y);
    painter->restore();
}

void VMCardDelegate::paintCard(QPainter *painter, const QRectF &card, const QPalette &colors, bool selected)
{
    // Shadow: layered translucent shapes below the card.
    const QColor shadow = LabPalette::withOpacity(LabPalette::shadow().resolved(colors), selected ? 0.42 : 0.18);
    painter->setPen(Qt::NoPen);
    const int layers = selected ? 4 : 3;
    for (int layer = 1; layer <= layers; ++layer) {
        painter->setBrush(LabPalette::withOpacity(shadow, 1.0 / layers));
        painter->drawRoundedRect(
            card.translated(0, selected ? 3 + layer : 1 + layer).adjusted(-layer / 2.0, 0, layer / 2.0, 0), radius, radius);
    }

    QLinearGradient fill(card.topLeft(), card.bottomRight());
    if (selected) {
        // The dark appearance keeps light text, so its first stop is the dark highlight rather than white.
        const QColor first = LabPalette::isDark(colors) ? LabPalette::highlight().dark.lighter(125) : QColor::fromRgbF(1, 1, 1, 0.96f);
        fill.setColorAt(0, first);
        fill.setColorAt(1, LabPalette::highlight().resolved(colors));
    } else {
        fill.setColorAt(0, LabPalette::withOpacity(LabPalette::panelBackground().resolved(colors), 0.86));
        fill.setColorAt(1, LabPalette::withOpacity(LabPalette::panelBackgroundSecondary().resolved(colors), 0.86));
    }
    painter->setBrush(fill);
    painter->drawRoundedRect(card, radius, radius);
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(
        selected ? LabPalette::accentSoft().resolved(colors) : LabPalette::withOpacity(LabPalette::border().resolved(colors), 0.45), 1));
    painter->drawRoundedRect(card.adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5, radius - 0.5);
}

int VMCardDelegate::paintColorDot(QPainter *painter, const VMMetadata &metadata, const QPoint &topLeft)
{
    int x = topLeft.x();
    const int y = topLeft.y();
    // Colour dot.
    if (metadata.colorTag) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(ColorTagColors::color(*metadata.colorTag));
        painter->drawEllipse(QRect(x, y + 6, 8, 8));
        x += 8 + 10;
    }
    return x;
}

QRect VMCardDelegate::paintBadge(QPainter *painter, const QStyleOptionViewItem &option, VMRuntimeState state, const QRect &inner)
{
    const QPalette &colors = option.palette;
    const int y = inner.top();
    // Run-state badge at the trailing edge.
    const QColor tint = LabPalette::runtimeStateTint(state, colors);
    const QFont badgeFont = TextStyle::font(TextRole::caption, QFont::Medium);
    const QFontMetrics badgeMetrics(badgeFont);
    const QString title = badgeTitle(state);
    const int iconSize = badgeMetrics.height();
    const QSize badgeSize(10 + iconSize + 4 + badgeMetrics.horizontalAdvance(title) + 10, badgeMetrics.height() + 12);
    const QRect badge(inner.right() - badgeSize.width(), y, badgeSize.width(), badgeSize.height());
    painter->setPen(Qt::NoPen);
    painter->setBrush(LabPalette::withOpacity(tint, 0.14));
    painter->drawRoundedRect(badge, badge.height() / 2.0, badge.height() / 2.0);
    painter->drawPixmap(QRect(badge.left() + 10, badge.top() + 6, iconSize, iconSize), Symbols::tinted(badgeSymbol(state), tint, iconSize));
    painter->setFont(badgeFont);
    painter->setPen(tint);
    painter->drawText(badge.adjusted(10 + iconSize + 4, 0, -10, 0), Qt::AlignLeft | Qt::AlignVCenter, title);
    return badge;
}

int VMCardDelegate::paintTextLines(
    QPainter *painter, const QStyleOptionViewItem &option, const VMBundle &bundle, const QPoint &start, int badgeLeft, const QRect &inner)
{
    const VMMetadata &metadata = bundle.metadata;
    const bool selected = option.state & QStyle::State_Selected;
    const QColor text = option.palette.color(QPalette::Text);
    const QColor secondary = LabPalette::withOpacity(text, 0.6);
    const int x = start.x();
    int y = start.y();
    // Name and guest line.
    const int textWidth = qMax(0, badgeLeft - 8 - x);
    const QFont headline = TextStyle::font(TextRole::headline);
    painter->setFont(headline);
    painter->setPen(text);
    drawLine(*painter, QPoint(x, y), textWidth, metadata.name);
    y += QFontMetrics(headline).height() + 6;
    painter->setFont(option.font);
    painter->setPen(selected ? LabPalette::withOpacity(text, 0.72) : secondary);
    drawLine(*painter, QPoint(x, y), textWidth, guestLine(bundle));
    y += QFontMetrics(option.font).height() + 8;

    // Hardware line.
    const QFont caption = TextStyle::font(TextRole::caption);
    painter->setFont(caption);
    drawLine(*painter, QPoint(inner.left(), y), inner.width(), hardwareLine(bundle));
    y += QFontMetrics(caption).height() + 8;
    return y;
}

void VMCardDelegate::paintFooter(
    QPainter *painter, const QStyleOptionViewItem &option, const VMMetadata &metadata, const QRect &inner, int y)
{
    const bool selected = option.state & QStyle::State_Selected;
    const QColor text = option.palette.color(QPalette::Text);
    const QColor secondary = LabPalette::withOpacity(text, 0.6);
    const QFont caption = TextStyle::font(TextRole::caption);
    // Footer: shared folders, saved state, trash.
    const QColor footer = selected ? LabPalette::withOpacity(text, 0.58) : LabPalette::withOpacity(secondary, 0.72);
    const int footerHeight = QFontMetrics(caption).height();
    painter->setPen(footer);
    int fx = inner.left();
    const auto footerItem = [&](const QString &symbol, const QString &label) {
        painter->drawPixmap(QRect(fx, y, footerHeight, footerHeight), Symbols::tinted(symbol, footer, footerHeight));
        fx += footerHeight + 4;
        fx += drawLine(*painter, QPoint(fx, y), inner.right() - fx, label) + 12;
    };
    footerItem(QStringLiteral("folder.badge.gearshape"), QString::number(metadata.sharedFolderCount));
    if (metadata.hasSavedState)
        footerItem(QStringLiteral("bolt.horizontal.circle.fill"), tr("Saved State"));
    else
        footerItem(QStringLiteral("bolt.horizontal.circle"), tr("No Saved State"));
    if (showsTrash(option)) {
        const QColor red = LabPalette::withOpacity(LabPalette::systemRed().light, 0.6);
        const QRect trash = trashRect(option.rect);
        painter->drawPixmap(trash.adjusted(2, 2, -2, -2), Symbols::tinted(QStringLiteral("trash"), red, trash.width() - 4));
    }
}

bool VMCardDelegate::editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option, const QModelIndex &index)
{
    // A release inside the trash button means the pointer is over the card, which then shows the button.
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && trashRect(option.rect).contains(mouse->position().toPoint())) {
            if (const std::optional<VMBundle> bundle = m_model.bundle(index))
                Q_EMIT deleteRequested(bundle->id());
            return true;
        }
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

bool VMCardDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option, const QModelIndex &)
{
    if (event->type() == QEvent::ToolTip && trashRect(option.rect).contains(event->pos())) {
        QToolTip::showText(event->globalPos(), tr("Delete this VM"), view);
        return true;
    }
    // Names come from bundles: never let the default tooltip render them as rich text.
    QToolTip::hideText();
    event->ignore();
    return true;
}
