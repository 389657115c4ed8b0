// SPDX-License-Identifier: MIT
#pragma once

#include "VMRuntimeState.h"

#include <QStyledItemDelegate>
#include <QUuid>

class BundleListModel;
struct VMMetadata;
struct VMBundle;

/**
 * Paints one VM card of the sidebar: colour dot, name and guest line, the
 * run-state badge, the hardware line and the footer (shared folders, saved
 * state, and the trash button on the selected or hovered card). A click on
 * the trash button emits deleteRequested(); it deletes nothing itself.
 */
class VMCardDelegate final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit VMCardDelegate(const BundleListModel &model, QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option, const QModelIndex &index) override;
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option, const QModelIndex &index) override;

    /// The run-state badge's title and symbol.
    static QString badgeTitle(VMRuntimeState state);
    static QString badgeSymbol(VMRuntimeState state);
    /// "2 CPUs • 4 GB • 64 GB".
    static QString hardwareLine(const VMBundle &bundle);
    static QString guestLine(const VMBundle &bundle);
    /// Where the trash button of a card in `cardRect` lies.
    static QRect trashRect(const QRect &cardRect);
    /// Whether the card shows its trash button.
    static bool showsTrash(const QStyleOptionViewItem &option);

Q_SIGNALS:
    void deleteRequested(const QUuid &id);

private:
    // The steps of paint(), from the back of the card to its footer.
    /// The card's shadow, fill and border.
    static void paintCard(QPainter *painter, const QRectF &card, const QPalette &colors, bool selected);
    /// The colour tag's dot at the card's top left; answers where the name begins.
    static int paintColorDot(QPainter *painter, const VMMetadata &metadata, const QPoint &topLeft);
    /// The run-state badge at the trailing edge; answers where it lies.
    static QRect paintBadge(QPainter *painter, const QStyleOptionViewItem &option, VMRuntimeState state, const QRect &inner);
    /// The name, guest and hardware lines; answers the top of the footer.
    static int paintTextLines(QPainter *painter, const QStyleOptionViewItem &option, const VMBundle &bundle, const QPoint &start,
        int badgeLeft, const QRect &inner);
    /// Shared folders, saved state and the trash button.
    static void paintFooter(QPainter *painter, const QStyleOptionViewItem &option, const VMMetadata &metadata, const QRect &inner, int y);

    const BundleListModel &m_model;
};
