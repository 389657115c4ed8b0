// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

class QLayout;

/**
 * The rounded panel of the application's style: a gradient fill from the
 * palette's panel background to its second stop, a one-pixel border drawn
 * inside the edge and a soft shadow below. Children are laid out on top of
 * it; the panel shadows only itself, never its content.
 *
 * The panel leaves room for its shadow around the rounded rectangle
 * (shadowMargins()); a layout set on it should keep at least those margins.
 */
class LabPanel : public QWidget
{
    Q_OBJECT

public:
    explicit LabPanel(qreal cornerRadius, QWidget *parent = nullptr);

    qreal cornerRadius() const { return m_cornerRadius; }
    /// Where the panel's rounded rectangle lies inside the widget.
    QRectF panelRect() const;
    static QMargins shadowMargins() { return {6, 2, 6, 12}; }
    /// Lays the content 18 px inside the shadow room, as every panel of the details pane does.
    static void applyContentMargins(QLayout &layout);
    /// The corner radius of every panel of the details pane.
    static constexpr qreal detailsCornerRadius = 22;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    qreal m_cornerRadius;
};
