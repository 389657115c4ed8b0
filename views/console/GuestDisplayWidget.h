// SPDX-License-Identifier: MIT
#pragma once

#include <QHash>
#include <QPoint>
#include <QRectF>
#include <QTimer>
#include <QWidget>

#include <chrono>

class GuestDisplayConnection;
class QPainter;

/**
 * The live screen of a guest: paints the connection's framebuffer scaled
 * into the widget with its aspect kept (black bars beside it), or 1:1 when
 * it fits exactly, repainting only what changed, inside rounded corners,
 * and forwards the user's keys (as scan codes, Tab
 * included), pointer (as positions on the guest's screen) and wheel (as
 * button clicks) to the connection while it has the focus. Every key and
 * button still held is released when the widget loses the focus or is
 * hidden, so the guest never sees a stuck Alt. A pause after the widget
 * was resized, it asks the guest for a display mode of its size in device
 * pixels, within 640×480 and 5120×2160, while the guest takes such requests.
 * The connection is not owned.
 */
class GuestDisplayWidget final : public QWidget
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds resizePause {300};
    static constexpr qreal cornerRadius = 22;

    explicit GuestDisplayWidget(GuestDisplayConnection &connection, QWidget *parent = nullptr);
    ~GuestDisplayWidget() override;

    /// Where the framebuffer is painted, in widget coordinates; empty without a framebuffer.
    QRectF frameArea() const;
    /// The framebuffer position under a widget position, clamped to the framebuffer.
    QPoint guestPosition(QPointF widgetPosition) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    /// Tab and Backtab belong to the guest, not to the focus chain.
    bool focusNextPrevChild(bool next) override;

private:
    void sendButtons(QPointF widgetPosition, Qt::MouseButtons buttons);
    void clickWheel(quint8 button, int steps);
    void releaseEverything();
    void askForMatchingMode();
    void updateGuestArea(QRect area);
    /// Rounds the widget's corners where `damaged` reaches them.
    void paintCorners(QPainter &painter, const QRegion &damaged) const;
    void showGuestCursor(const QImage &shape, QPoint hotSpot);

    GuestDisplayConnection &m_connection;
    QTimer m_resizeTimer;
    /// Held keys: scan code to keysym.
    QHash<quint32, quint32> m_heldKeys;
    quint8 m_buttons = 0;
    QPoint m_lastPosition;
    QPoint m_wheelRemainder;
};
