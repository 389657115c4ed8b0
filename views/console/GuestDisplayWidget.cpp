// SPDX-License-Identifier: MIT
#include "GuestDisplayWidget.h"

#include "GuestDisplayConnection.h"
#include "GuestKeyMap.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace {

/// One notch of a common mouse wheel.
constexpr int wheelStep = 120;

quint8 buttonMask(Qt::MouseButtons buttons)
{
    quint8 mask = 0;
    if (buttons & Qt::LeftButton)
        mask |= GuestDisplayConnection::left;
    if (buttons & Qt::MiddleButton)
        mask |= GuestDisplayConnection::middle;
    if (buttons & Qt::RightButton)
        mask |= GuestDisplayConnection::right;
    return mask;
}

} // namespace

GuestDisplayWidget::GuestDisplayWidget(GuestDisplayConnection &connection, QWidget *parent)
    : QWidget(parent)
    , m_connection(connection)
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    // Every pixel is painted here, so nothing behind the widget is painted first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_resizeTimer.setSingleShot(true);
    m_resizeTimer.setInterval(resizePause);
    connect(&m_resizeTimer, &QTimer::timeout, this, &GuestDisplayWidget::askForMatchingMode);
    connect(&m_connection, &GuestDisplayConnection::framebufferResized, this, [this] { update(); });
    connect(&m_connection, &GuestDisplayConnection::framebufferUpdated, this, &GuestDisplayWidget::updateGuestArea);
    connect(&m_connection, &GuestDisplayConnection::cursorChanged, this, &GuestDisplayWidget::showGuestCursor);
    connect(&m_connection, &GuestDisplayConnection::desktopResizeAvailabilityChanged, this, [this](bool available) {
        if (available)
            m_resizeTimer.start();
    });
    connect(&m_connection, &GuestDisplayConnection::statusChanged, this, [this](GuestDisplayConnection::Status status) {
        if (status == GuestDisplayConnection::Status::closed) {
            m_heldKeys.clear();
            m_buttons = 0;
            unsetCursor();
        }
        update();
    });
}

GuestDisplayWidget::~GuestDisplayWidget() = default;

QRectF GuestDisplayWidget::frameArea() const
{
    const QImage &frame = m_connection.framebuffer();
    if (frame.isNull() || width() <= 0 || height() <= 0)
        return {};
    const QSizeF fitted = QSizeF(frame.size()).scaled(QSizeF(size()), Qt::KeepAspectRatio);
    // On whole pixels, so that a screen shown 1:1 is copied pixel for pixel.
    return QRectF(QPointF(std::floor((width() - fitted.width()) / 2), std::floor((height() - fitted.height()) / 2)), fitted);
}

QPoint GuestDisplayWidget::guestPosition(QPointF widgetPosition) const
{
    const QRectF area = frameArea();
    const QImage &frame = m_connection.framebuffer();
    if (area.isEmpty())
        return {};
    const qreal x = (widgetPosition.x() - area.x()) * frame.width() / area.width();
    const qreal y = (widgetPosition.y() - area.y()) * frame.height() / area.height();
    return QPoint(std::clamp(int(x), 0, frame.width() - 1), std::clamp(int(y), 0, frame.height() - 1));
}

QSize GuestDisplayWidget::sizeHint() const
{
    return QSize(1024, 768);
}

void GuestDisplayWidget::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QRegion damaged = event->region();
    QRegion bars = damaged;
    const QImage &frame = m_connection.framebuffer();
    const QRectF area = frameArea();
    if (!area.isEmpty()) {
        const QPoint origin = area.topLeft().toPoint();
        if (area.size() == QSizeF(frame.size())) {
            // Shown 1:1: each damaged rectangle is copied as it is, with no scaling and no clip path.
            const QRect shown(origin, frame.size());
            for (const QRect &rect : damaged &shown)
                painter.drawImage(rect.topLeft(), frame, rect.translated(-origin));
            bars -= shown;
        } else {
            // Scaled ones are filtered, which costs more but keeps text legible; the partly covered edge pixels blend into the bars.
            bars -= QRect(origin, QSize(int(area.width()), int(area.height())));
        }
    }
    for (const QRect &rect : bars)
        painter.fillRect(rect, Qt::black);
    if (!area.isEmpty() && area.size() != QSizeF(frame.size())) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(area, frame);
    }
    paintCorners(painter, damaged);
}

void GuestDisplayWidget::paintCorners(QPainter &painter, const QRegion &damaged) const
{
    // Only the corners are rounded: the window's background is laid over what lies outside the rounded edge.
    const int side = int(std::ceil(cornerRadius));
    const QRectF whole(rect());
    const QRectF circle(0, 0, 2 * cornerRadius, 2 * cornerRadius);
    const std::array<std::pair<QRect, QPointF>, 4> corners {{
        {QRect(0, 0, side, side), whole.topLeft()},
        {QRect(width() - side, 0, side, side), QPointF(whole.right() - circle.width(), whole.top())},
        {QRect(0, height() - side, side, side), QPointF(whole.left(), whole.bottom() - circle.height())},
        {QRect(width() - side, height() - side, side, side), whole.bottomRight() - QPointF(circle.width(), circle.height())},
    }};
    painter.setRenderHint(QPainter::Antialiasing);
    for (const auto &[square, circleCorner] : corners) {
        if (!damaged.intersects(square))
            continue;
        QPainterPath outside;
        outside.setFillRule(Qt::OddEvenFill);
        outside.addRect(QRectF(square));
        outside.addEllipse(circle.translated(circleCorner));
        painter.save();
        painter.setClipRect(square, Qt::IntersectClip);
        painter.fillPath(outside, palette().window());
        painter.restore();
    }
}

void GuestDisplayWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_resizeTimer.start();
}

void GuestDisplayWidget::keyPressEvent(QKeyEvent *event)
{
    const quint32 scanCode = GuestKeyMap::scanCode(*event);
    const quint32 keysym = GuestKeyMap::keysym(*event);
    if (scanCode == 0 && keysym == 0) {
        event->ignore();
        return;
    }
    m_heldKeys.insert(scanCode, keysym);
    m_connection.sendKey(keysym, scanCode, true);
    event->accept();
}

void GuestDisplayWidget::keyReleaseEvent(QKeyEvent *event)
{
    // A held key repeats as press after press; the guest keeps its own repeat from them.
    if (event->isAutoRepeat()) {
        event->accept();
        return;
    }
    const quint32 scanCode = GuestKeyMap::scanCode(*event);
    const auto held = m_heldKeys.constFind(scanCode);
    const quint32 keysym = held != m_heldKeys.cend() ? held.value() : GuestKeyMap::keysym(*event);
    m_heldKeys.remove(scanCode);
    if (scanCode != 0 || keysym != 0)
        m_connection.sendKey(keysym, scanCode, false);
    event->accept();
}

void GuestDisplayWidget::mousePressEvent(QMouseEvent *event)
{
    setFocus(Qt::MouseFocusReason);
    sendButtons(event->position(), event->buttons());
}

void GuestDisplayWidget::mouseReleaseEvent(QMouseEvent *event)
{
    sendButtons(event->position(), event->buttons());
}

void GuestDisplayWidget::mouseMoveEvent(QMouseEvent *event)
{
    sendButtons(event->position(), event->buttons());
}

void GuestDisplayWidget::wheelEvent(QWheelEvent *event)
{
    m_lastPosition = guestPosition(event->position());
    m_wheelRemainder += event->angleDelta();
    const int vertical = m_wheelRemainder.y() / wheelStep;
    const int horizontal = m_wheelRemainder.x() / wheelStep;
    m_wheelRemainder -= QPoint(horizontal * wheelStep, vertical * wheelStep);
    if (vertical != 0)
        clickWheel(vertical > 0 ? GuestDisplayConnection::wheelUp : GuestDisplayConnection::wheelDown, std::abs(vertical));
    if (horizontal != 0)
        clickWheel(horizontal > 0 ? GuestDisplayConnection::wheelLeft : GuestDisplayConnection::wheelRight, std::abs(horizontal));
    event->accept();
}

void GuestDisplayWidget::focusOutEvent(QFocusEvent *event)
{
    releaseEverything();
    QWidget::focusOutEvent(event);
}

void GuestDisplayWidget::hideEvent(QHideEvent *event)
{
    releaseEverything();
    QWidget::hideEvent(event);
}

bool GuestDisplayWidget::focusNextPrevChild(bool)
{
    return false;
}

void GuestDisplayWidget::sendButtons(QPointF widgetPosition, Qt::MouseButtons buttons)
{
    m_lastPosition = guestPosition(widgetPosition);
    m_buttons = buttonMask(buttons);
    m_connection.sendPointer(m_lastPosition, m_buttons);
}

void GuestDisplayWidget::clickWheel(quint8 button, int steps)
{
    for (int step = 0; step < steps; ++step) {
        m_connection.sendPointer(m_lastPosition, m_buttons | button);
        m_connection.sendPointer(m_lastPosition, m_buttons);
    }
}

void GuestDisplayWidget::releaseEverything()
{
    for (auto held = m_heldKeys.cbegin(); held != m_heldKeys.cend(); ++held)
        m_connection.sendKey(held.value(), held.key(), false);
    m_heldKeys.clear();
    if (m_buttons != 0) {
        m_buttons = 0;
        m_connection.sendPointer(m_lastPosition, 0);
    }
}

void GuestDisplayWidget::askForMatchingMode()
{
    if (!m_connection.canResizeDesktop() || width() <= 0 || height() <= 0)
        return;
    const QSize wanted = (QSizeF(size()) * devicePixelRatioF())
                             .toSize()
                             .expandedTo(GuestDisplayConnection::minimumDesktopSize)
                             .boundedTo(GuestDisplayConnection::maximumDesktopSize);
    if (wanted != m_connection.framebuffer().size())
        m_connection.requestDesktopSize(wanted);
}

void GuestDisplayWidget::updateGuestArea(QRect area)
{
    const QRectF frame = frameArea();
    const QImage &image = m_connection.framebuffer();
    if (frame.isEmpty() || image.isNull()) {
        update();
        return;
    }
    if (frame.size() == QSizeF(image.size())) {
        update(area.translated(frame.topLeft().toPoint()));
        return;
    }
    const qreal scaleX = frame.width() / image.width();
    const qreal scaleY = frame.height() / image.height();
    const QRectF mapped(frame.x() + area.x() * scaleX, frame.y() + area.y() * scaleY, area.width() * scaleX, area.height() * scaleY);
    update(mapped.toAlignedRect().adjusted(-1, -1, 1, 1));
}

void GuestDisplayWidget::showGuestCursor(const QImage &shape, QPoint hotSpot)
{
    if (shape.isNull())
        setCursor(Qt::BlankCursor);
    else
        setCursor(QCursor(QPixmap::fromImage(shape), hotSpot.x(), hotSpot.y()));
}
